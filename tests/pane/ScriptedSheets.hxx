// Sheets answered by the test: every sheet the window shows is recorded by name (and message),
// and answered from a list (1 once the list is used up).
#pragma once

#include "MessageSheetController.hxx"
#include "SheetRunner.hxx"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tessaly::testing {

class ScriptedSheets : public SheetRunner {
public:
    ScriptedSheets() { SheetRunner::setCurrent(this); }
    ~ScriptedSheets() override { SheetRunner::setCurrent(nullptr); }
    ScriptedSheets(const ScriptedSheets&) = delete;
    ScriptedSheets& operator=(const ScriptedSheets&) = delete;

    int run(ModalSheetController& sheet) override {
        names.push_back(sheet.nibName().toStdString());
        auto* message = qobject_cast<MessageSheetController*>(&sheet);
        messages.push_back(message ? message->message().toStdString() : std::string());
        if (onShow) {
            onShow(sheet);
        }
        if (answers.empty()) {
            return 1;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<int> answers;
    std::function<void(ModalSheetController&)> onShow;
    std::vector<std::string> names;
    std::vector<std::string> messages;
};

} // namespace tessaly::testing
