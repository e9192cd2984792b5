#include "files/render_writer.h"

#include <algorithm>

namespace zorvil {

CRenderWriter::~CRenderWriter() {
    std::lock_guard lock(m_lock);
    DropFile();
}

void CRenderWriter::DropFile() noexcept {
    m_pRenderFile.reset(); // closed, if still open
    m_pTarget.reset();     // an uncommitted temporary file is removed
    m_pState = nullptr;
    m_bClosed = false;
    m_bClosedOk = false;
}

bool CRenderWriter::Start(const std::string& path, const RenderPlan& plan, RenderStateWord& state,
                          std::function<void()> onFinished) {
    std::lock_guard lock(m_lock);
    // A render in progress keeps its file: the engine may be writing it right now.
    if (state.load(std::memory_order_acquire) != RenderState::Idle) return false;
    DropFile();
    m_bFinished.store(false, std::memory_order_relaxed);
    auto target = std::make_unique<files::ReplacingFile>(path);
    std::unique_ptr<CWaveFile> file;
    if (target->IsOpen()) {
        file = std::make_unique<CWaveFile>(target->TemporaryPath(), kRenderFormat, &m_ui);
        if (file->GetMode() != CWaveFile::Mode::Writing) {
            m_lastError = files::WriteError{file->OpenError(), 0, false};
            file.reset();
        }
    } else {
        m_lastError = target->Error();
    }
    if (!file) {
        m_ui.MessageBox(files::CantOpenForWriteMessage(path, m_lastError.cause), {},
                        MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    m_lastError = {};
    m_pTarget = std::move(target);
    m_pRenderFile = std::move(file);
    m_counter = RenderCounter(plan);
    m_onFinished = std::move(onFinished);
    m_pState = &state;
    // Everything above is published by this store: the engine reads it only once it sees the
    // state it leads to (4).
    state.store(RenderState::Armed, std::memory_order_release);
    return true;
}

void CRenderWriter::OnBufferWritten(const CWaveBuffer& buffer, int frames) noexcept {
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock() || m_pState == nullptr || m_bClosed ||
        m_pState->load(std::memory_order_acquire) != RenderState::Writing)
        return;
    const size_t bytes = static_cast<size_t>(std::max(frames, 0)) * kRenderBytesPerFrame;
    const RenderCounter::Step step = m_counter.OnBuffer(std::min(bytes, buffer.Length()));
    if (step.writeBytes > 0 && buffer.Data() != nullptr)
        m_pRenderFile->Write(buffer.Data(), step.writeBytes);
    if (!step.finished) return;
    // The end, in this order: the file closed, the end handed over, the state released.
    m_bClosedOk = m_pRenderFile->Close();
    m_bClosed = true;
    m_bFinished.store(true, std::memory_order_release);
    if (m_onFinished) m_onFinished();
    RenderState writing = RenderState::Writing;
    m_pState->compare_exchange_strong(writing, RenderState::Idle, std::memory_order_acq_rel);
}

files::WriteError CRenderWriter::Finish() {
    std::lock_guard lock(m_lock);
    if (!m_bClosed || !m_pTarget) return m_lastError;
    const int64_t expected = int64_t{m_counter.Plan().totalFrames} * kRenderBytesPerFrame;
    if (!m_bClosedOk)
        m_lastError = files::WriteError::FromErrno(m_pRenderFile->WriteErrno());
    else if (static_cast<int64_t>(m_pRenderFile->GetDataSize()) != expected)
        m_lastError = files::WriteError::FromErrno(EIO); // cannot happen: T frames were counted
    else
        m_lastError = m_pTarget->Commit();
    m_pTarget.reset(); // removes the file when it was not committed
    return m_lastError;
}

bool CRenderWriter::Abandon() {
    std::lock_guard lock(m_lock);
    if (m_pState == nullptr || m_bClosed) return false;
    // The engine skips its buffers while this holds the lock, and finds the state idle after.
    m_pState->store(RenderState::Idle, std::memory_order_release);
    DropFile();
    return true;
}

files::WriteError CRenderWriter::LastError() const {
    std::lock_guard lock(m_lock);
    return m_lastError;
}

} // namespace zorvil
