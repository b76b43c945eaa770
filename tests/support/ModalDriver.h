#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>

// Runs `action` on the next modal dialog of type Dialog that opens, once it is showing: the way a
// test answers a dialog that the code under test runs with exec(). Deleting the returned timer
// withdraws the action.
template <typename Dialog>
QPointer<QTimer> WhenDialogOpens(std::function<void(Dialog*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        action(dialog);
    });
    timer->start();
    return timer;
}
