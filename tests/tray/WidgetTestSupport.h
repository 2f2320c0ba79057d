#pragma once
// Helpers for the widget tests: find the message boxes a call showed, and answer the modal ones
// that would otherwise wait for an operator forever.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

namespace telvane::testing {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modal = false;
};

inline SeenBox describe(const QMessageBox* box) {
    return {box->windowTitle(), box->text(), box->icon(), box->isModal()};
}

/// The message boxes on screen now.
inline std::vector<QMessageBox*> visibleMessageBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes.push_back(box);
    return boxes;
}

inline void closeVisibleMessageBoxes() {
    for (QMessageBox* box : visibleMessageBoxes()) box->close();
    QApplication::processEvents();
}

/// Runs `action`, which may open a modal message box, and answers the first such box with OK.
/// The box is looked for from the event loop that its exec() runs, until a deadline.
inline std::vector<SeenBox> answerModalBoxes(const std::function<void()>& action) {
    std::vector<SeenBox> seen;
    QDeadlineTimer deadline(5000);
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.push_back(describe(box));
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
                ok->click();
            } else {
                box->close();
            }
        } else if (deadline.hasExpired()) {
            poll.stop();
        }
    });
    poll.start();
    action();
    return seen;
}

}  // namespace telvane::testing
