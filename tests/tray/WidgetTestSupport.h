#pragma once
// Helpers for the widget tests: the message boxes a call showed, and an answer for the modal
// ones that would otherwise wait for an operator forever.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <vector>

namespace telvane::testing {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modal = false;
    explicit SeenBox(const QMessageBox* box)
        : title(box->windowTitle()), text(box->text()), icon(box->icon()), modal(box->isModal()) {}
};

/// The message boxes on screen, closed afterwards when `close`.
inline std::vector<SeenBox> visibleMessageBoxes(bool close = false) {
    std::vector<SeenBox> seen;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            seen.emplace_back(box);
            if (close) box->close();
        }
    QApplication::processEvents();
    return seen;
}

/// Runs `action` and answers with OK each modal box it opens, looking from the event loop that
/// the box's exec() runs, until a deadline.
inline std::vector<SeenBox> answerModalBoxes(const std::function<void()>& action) {
    std::vector<SeenBox> seen;
    QDeadlineTimer deadline(5000);
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.emplace_back(box);
            box->button(QMessageBox::Ok)->click();
        } else if (deadline.hasExpired()) {
            poll.stop();
        }
    });
    poll.start();
    action();
    return seen;
}

}  // namespace telvane::testing
