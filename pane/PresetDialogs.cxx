#include "PresetDialogs.hxx"

#include <QAbstractButton>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace tessaly {

QString DialogPresetQuestions::text(const char* key) const {
    return QString::fromStdString(bundle_.localizedString(key, "InfoPlist"));
}

std::optional<QString> DialogPresetQuestions::askPresetName() {
    QInputDialog dialog(window_);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setWindowTitle(text("CFBundleDisplayName"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(text("PresetNamePrompt"));
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    if (auto* field = dialog.findChild<QLineEdit*>()) {
        field->setAccessibleName(QStringLiteral("Preset name"));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue();
}

// Cancel is the default and Escape's answer: both questions are about losing a file.
bool DialogPresetQuestions::confirm(const QString& question) {
    QMessageBox box(QMessageBox::Question, text("CFBundleDisplayName"), question,
                    QMessageBox::Ok | QMessageBox::Cancel, window_);
    box.setWindowModality(Qt::WindowModal);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Cancel"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

bool DialogPresetQuestions::confirmOverwrite(const QString& question) { return confirm(question); }

bool DialogPresetQuestions::confirmDelete(const QString& question) { return confirm(question); }

void DialogPresetQuestions::tellProblem(const QString& notice) {
    QMessageBox box(QMessageBox::Warning, text("CFBundleDisplayName"), notice, QMessageBox::Ok,
                    window_);
    box.setWindowModality(Qt::WindowModal);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

} // namespace tessaly
