#pragma once

// Test doubles shared by the widget tests: a stand-in for the operation
// runtime that answers requests from the hub's request slot, and a helper that
// answers modal message boxes and dialogs so that tests do not block.

#include "hub/OrunAppFace.h"
#include "ui/settings/PumpWait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

// One request as the runtime found it in the hub.
struct SeenRequest {
    int code = -1;
    int who = -1;
    QPointF focus;
    QPointF select;
    GimbalSpeed speed;
    bool gimbalMoving = false;
    int aiMode = 0;
    int aiValue = 0;
    int mirror = 0;
    int resolution = 0;
    int workMode = 0;
    int workSubMode = 0;
    int photoRatio = 0;
    int gimbalSetItem = 0;
    int gimbalSetValue = 0;
    WifiBlock wifi{};
    qint64 atMs = 0; // time since the runtime double started
};

// Picks requests up every 2 ms on the graphical thread, frees the slot and,
// for the codes that report, emits signal_doOperationFinished with the code
// chosen by `answer` (default 0; std::nullopt: no report at all). Code 12
// reports twice, as the real runtime does; `secondAnswer` chooses its second.
class RuntimeDouble : public QObject {
public:
    std::function<std::optional<int>(const SeenRequest&)> answer;
    std::function<std::optional<int>(const SeenRequest&)> secondAnswer;
    int answerDelayMs = 0;
    std::vector<SeenRequest> seen;

    RuntimeDouble() {
        clock.start();
        timer.setInterval(2);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }
    void pause() { timer.stop(); }
    qint64 now() const { return clock.elapsed(); }

    std::vector<int> codes() const {
        std::vector<int> out;
        for (const SeenRequest& r : seen)
            out.push_back(r.code);
        return out;
    }
    const SeenRequest* last(int code) const {
        for (auto it = seen.rbegin(); it != seen.rend(); ++it)
            if (it->code == code)
                return &*it;
        return nullptr;
    }
    int count(int code) const {
        int n = 0;
        for (const SeenRequest& r : seen)
            n += r.code == code ? 1 : 0;
        return n;
    }

private:
    static bool reports(int code) { return (code >= 4 && code <= 17) || code == 20; }

    void poll() {
        OrunAppFace* hub = OrunAppFace::instance();
        if (hub->iOperating.load(std::memory_order_acquire) != 1)
            return;
        SeenRequest r;
        r.code = hub->iOperation.load();
        r.who = hub->iWho.load();
        r.focus = hub->ptFocus.get();
        r.select = hub->ptSelect.get();
        r.speed = hub->gimbalSpeed.get();
        r.gimbalMoving = hub->bGimbalMoving.load();
        r.aiMode = hub->iAiMode.load();
        r.aiValue = hub->iAiValue.load();
        r.mirror = hub->iMirror.load();
        r.resolution = hub->iResolution.load();
        r.workMode = hub->iWorkMode.load();
        r.workSubMode = hub->iWorkSubMode.load();
        r.photoRatio = hub->iPhotoRatio.load();
        r.gimbalSetItem = hub->iGimbalSetItem.load();
        r.gimbalSetValue = hub->iGimbalSetValue.load();
        r.wifi = hub->wifiRequest.get();
        r.atMs = clock.elapsed();
        seen.push_back(r);
        hub->iOperating.store(0, std::memory_order_release);
        if (!reports(r.code))
            return;
        const std::optional<int> first = answer ? answer(r) : std::optional<int>(0);
        std::optional<int> second;
        if (r.code == 12)
            second = secondAnswer ? secondAnswer(r) : std::optional<int>(0);
        const int who = r.who;
        auto emitResult = [who](int ec) {
            emit OrunAppFace::instance()->signal_doOperationFinished(who, ec);
        };
        if (first)
            QTimer::singleShot(answerDelayMs, this, [emitResult, v = *first] { emitResult(v); });
        if (second)
            QTimer::singleShot(answerDelayMs + 50, this,
                               [emitResult, v = *second] { emitResult(v); });
    }

    QTimer timer;
    QElapsedTimer clock;
};

// Answers whatever modal widget is active: message boxes with the next of
// `buttons` (or Yes/Ok when the list is used up), other dialogs through
// `onDialog`. Every message box text is recorded.
class ModalAnswerer : public QObject {
public:
    std::vector<QMessageBox::StandardButton> buttons;
    std::function<void(QWidget*)> onDialog;
    QStringList texts;
    QStringList titles;

    ModalAnswerer() {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == handled)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            handled = modal;
            texts << box->text();
            titles << box->windowTitle();
            QMessageBox::StandardButton choice = QMessageBox::NoButton;
            if (!buttons.empty()) {
                choice = buttons.front();
                buttons.erase(buttons.begin());
            } else if (box->button(QMessageBox::Yes)) {
                choice = QMessageBox::Yes;
            } else {
                choice = QMessageBox::Ok;
            }
            QAbstractButton* b = box->button(choice);
            if (b)
                b->click();
            else
                box->reject();
            handled = nullptr;
        } else if (onDialog) {
            handled = modal;
            onDialog(modal);
            handled = nullptr;
        }
    }

    QTimer timer;
    QWidget* handled = nullptr;
};

// Runs the event loop until `pred` holds or `ms` passed.
template <typename Pred> bool waitFor(Pred pred, int ms = 3000) {
    return pumpEventsUntil(
        pred, [] { return true; }, ms);
}

// Runs the event loop for `ms` milliseconds.
inline void spin(int ms) {
    pumpEventsFor(ms);
}
