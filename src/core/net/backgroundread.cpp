#include "core/net/backgroundread.h"

QThreadPool &pageReadingThread()
{
    static QThreadPool *const pool = [] {
        auto *threads = new QThreadPool;
        threads->setMaxThreadCount(1);
        return threads;
    }();
    return *pool;
}
