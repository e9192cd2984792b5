#include "files/render_writer.h"

#include "files/file_io.h"

#include <algorithm>

namespace zorvil {

bool CRenderWriter::Start(const std::string& path, const RenderPlan& plan, RenderStateWord& state,
                          std::function<void()> onFinished) {
    // A render in progress keeps its file: the engine may be writing it right now.
    if (state.load(std::memory_order_acquire) != RenderState::Idle) return false;
    m_pRenderFile.reset();
    auto file = std::make_unique<CWaveFile>(path, kRenderFormat, &m_ui);
    if (file->GetMode() != CWaveFile::Mode::Writing) {
        m_ui.MessageBox(files::CantOpenForWriteMessage(path, file->OpenError()), {},
                        MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    m_pRenderFile = std::move(file);
    m_counter = RenderCounter(plan);
    m_onFinished = std::move(onFinished);
    m_bFinished.store(false, std::memory_order_relaxed);
    m_pState = &state;
    // Everything above is published by this store: the engine reads it only once it sees the
    // state it leads to (4).
    state.store(RenderState::Armed, std::memory_order_release);
    return true;
}

void CRenderWriter::OnBufferWritten(const CWaveBuffer& buffer, int frames) noexcept {
    if (m_pState == nullptr || m_pState->load(std::memory_order_acquire) != RenderState::Writing)
        return;
    const size_t bytes = static_cast<size_t>(std::max(frames, 0)) * kRenderBytesPerFrame;
    const RenderCounter::Step step = m_counter.OnBuffer(std::min(bytes, buffer.Length()));
    if (step.writeBytes > 0 && buffer.Data() != nullptr)
        m_pRenderFile->Write(buffer.Data(), step.writeBytes);
    if (!step.finished) return;
    m_pState->store(RenderState::Idle, std::memory_order_release);
    m_pRenderFile->Close();
    m_bFinished.store(true, std::memory_order_release);
    if (m_onFinished) m_onFinished();
}

} // namespace zorvil
