// CUiThreadQueue: hands work from any thread to the user-interface thread.
//
// Wake() only writes to an event file descriptor: it neither allocates nor locks, so the
// engine thread may call it (the end of a render). The user-interface thread's event loop sees
// the descriptor readable, runs the calls posted since, then emits `woken`. Posted calls wait in
// a queue behind a mutex; nothing crosses threads through Qt's own event queue, so every
// hand-over is one that the thread sanitizer sees.
//
//     CUiThreadQueue queue;                                     // on the user-interface thread
//     app.SetUiWaker([&queue] { queue.Wake(); });               // any thread
//     connect(&queue, &CUiThreadQueue::woken, frame, &CMainFrame::OnPosted);
//     queue.Post([=] { emit refreshRequested(slot); });         // any thread
//
// Threads: made, destroyed and woken-up on the user-interface thread; Wake and Post from any.
#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

namespace zorvil {

class CUiThreadQueue : public QObject {
    Q_OBJECT

public:
    explicit CUiThreadQueue(QObject* parent = nullptr);
    ~CUiThreadQueue() override;

    CUiThreadQueue(const CUiThreadQueue&) = delete;
    CUiThreadQueue& operator=(const CUiThreadQueue&) = delete;

    // Any thread: the user-interface thread runs the queue and emits `woken` soon.
    void Wake() noexcept;
    // Any thread: `call` runs on the user-interface thread soon.
    void Post(std::function<void()> call);

signals:
    void woken();

private:
    void OnReadable();

    int m_fd = -1;
    QSocketNotifier* m_pNotifier = nullptr;
    std::mutex m_lock; // guards m_calls
    std::deque<std::function<void()>> m_calls;
};

} // namespace zorvil
