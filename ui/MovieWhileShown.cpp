#include "ui/MovieWhileShown.h"

#include <QEvent>
#include <QLabel>
#include <QMovie>
#include <QPointer>

namespace {

// Starts the movie when the label is shown and stops it when the label (or
// its window) is hidden.
class MovieWhileShown : public QObject {
public:
    MovieWhileShown(QMovie* movie, QLabel* label) : QObject(label), m_movie(movie) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (m_movie) {
            if (event->type() == QEvent::Show)
                m_movie->start();
            else if (event->type() == QEvent::Hide)
                m_movie->stop();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QMovie> m_movie;
};

} // namespace

void playWhileShown(QLabel* label, QMovie* movie) {
    label->setMovie(movie);
    label->installEventFilter(new MovieWhileShown(movie, label));
    if (label->isVisible())
        movie->start();
    else
        movie->stop();
}
