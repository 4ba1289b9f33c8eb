#pragma once

#include <QPointer>
#include <QString>

class QWidget;

namespace platform {
class PendingCall;
}

// Waits for work that runs outside the window (a call to the file helper, a mount by the
// storage service) while the window keeps painting, laying out and
// answering accessibility clients. Of the user's input only two things are acted on:
// Escape gives the wait up, and closing the window gives it up and then closes the
// window. Every other key, click and wheel turn is dropped until the wait ends.
//
// After kBusyAfterMs the busy cursor shows; after kLineAfterMs a line over the column
// being waited on says what is happening, updated every kLineUpdateMs.
class HelperWait {
public:
    // What the line says: entries read so far, work under way, or a drive being opened.
    enum class Kind { Reading, Processing, Opening };

    static constexpr int kBusyAfterMs = 150;
    static constexpr int kLineAfterMs = 1000;
    static constexpr int kLineUpdateMs = 200;

    // `window` is the program's window, `column` the list whose work is waited for;
    // `subject` is what is being opened (Kind::Opening).
    HelperWait(QWidget* window, QWidget* column, Kind kind, QString subject = {});

    // Returns when `call` has finished, or was given up and abandoned.
    void wait(platform::PendingCall& call);

    // Whether the user asked to close `window` during a wait; no wait is started for it
    // any more, and messages about given-up work are left out.
    static bool closing(const QWidget* window);

    // The object name of the line shown during a wait, for finding it.
    static QString lineName();

private:
    [[nodiscard]] QString lineText(const platform::PendingCall& call) const;

    QPointer<QWidget> window_;
    QPointer<QWidget> column_;
    Kind kind_;
    QString subject_;
};
