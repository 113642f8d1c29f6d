// Reading a page costs time in proportion to its size: a page of megabytes is decoded and read on a
// worker thread, so that the window never stops answering, and only the small result comes back to
// the thread that asked. Large pages are read one at a time, which also bounds the memory they take.
#pragma once

#include <QObject>
#include <QThreadPool>

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// The one thread that reads pages.
QThreadPool &pageReadingThread();

// Carries a read result from the reading thread back: it lives in the asking thread, and the reading
// thread only signals it and then lets it go. A queued connection to the caller is safe whenever the
// caller goes.
class ReadDelivery : public QObject
{
    Q_OBJECT
signals:
    void ready();
};

// A page up to this size is read at once on the asking thread: handing it to the reading thread and
// back costs more than reading it, and it is read in well under a millisecond.
inline constexpr qsizetype ReadOnAskingThreadBytes = 128 * 1024;

// Runs done(read()) at once for a page of at most ReadOnAskingThreadBytes. A larger one is read on
// the page-reading thread, and done(value) then runs on context's thread, unless context is gone by
// then.
template<typename Read, typename Done>
void readAfterFetch(QObject *context, qsizetype pageBytes, Read &&read, Done &&done)
{
    if (pageBytes <= ReadOnAskingThreadBytes) {
        done(read());
        return;
    }
    using Value = std::invoke_result_t<Read>;
    auto value = std::make_shared<std::optional<Value>>();
    auto *delivery = new ReadDelivery;
    QObject::connect(delivery, &ReadDelivery::ready, context,
                     [value, done = std::forward<Done>(done)]() mutable { done(**value); });
    pageReadingThread().start([delivery, value, read = std::forward<Read>(read)]() mutable {
        value->emplace(read());
        emit delivery->ready();
        delivery->deleteLater();
    });
}
