// Who shows a sheet and waits for its answer. The window's sheets go through the current runner:
// the real one shows the sheet window-modal on its window and runs a nested loop until a button
// answers; tests put in a runner that answers from a script.
#pragma once

namespace tessaly {

class ModalSheetController;

class SheetRunner {
public:
    virtual ~SheetRunner() = default;
    // Shows the loaded sheet and answers the code of the button that closed it.
    virtual int run(ModalSheetController& sheet) = 0;

    static SheetRunner& current();
    // Null puts the real runner back.
    static void setCurrent(SheetRunner* runner);
};

// Window-modal on the sheet's window (application-modal without one), in QDialog::exec's nested
// loop. Escape and the window's close button answer 0, as Cancel does.
class DialogSheetRunner : public SheetRunner {
public:
    int run(ModalSheetController& sheet) override;
};

} // namespace tessaly
