#include "GetPathController.hxx"

namespace tessaly {

QString GetPathController::getMessageString() const {
    return messageView ? messageView->text() : QString();
}

void GetPathController::setFieldAccessibleName(const QString& name) {
    if (messageView) {
        messageView->setAccessibleName(name);
    }
}

} // namespace tessaly
