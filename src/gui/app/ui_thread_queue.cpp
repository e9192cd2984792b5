#include "gui/app/ui_thread_queue.h"

#include <QSocketNotifier>

#include <cstdint>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace zorvil {

CUiThreadQueue::CUiThreadQueue(QObject* parent)
    : QObject(parent), m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0) throw std::runtime_error("no event descriptor for the user-interface thread");
    m_pNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CUiThreadQueue::OnReadable);
}

CUiThreadQueue::~CUiThreadQueue() {
    delete m_pNotifier;
    ::close(m_fd);
}

void CUiThreadQueue::Wake() noexcept {
    const uint64_t one = 1;
    // The counter saturates long before it could fail; a failed write only loses a wake-up
    // that an earlier one, still unread, already stands for.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void CUiThreadQueue::Post(std::function<void()> call) {
    {
        std::lock_guard lock(m_lock);
        m_calls.push_back(std::move(call));
    }
    Wake();
}

void CUiThreadQueue::OnReadable() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_fd, &count, sizeof count);
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(m_lock);
        calls.swap(m_calls);
    }
    for (std::function<void()>& call : calls)
        call();
    emit woken();
}

} // namespace zorvil
