// CEffect: one loaded VST 2 plug-in.
//
// The wrapper loads the plug-in's shared library, calls its entry ("main", or "VSTPluginMain"
// when "main" is absent) with the host's static callback, checks the AEffect record that comes
// back, and from then on forwards calls to it. It belongs to a host (CEffectHost), which creates
// it, gives it a slot and deletes it; a wrapper without a host refuses to load.
//
//     CEffectHost& host = ...;
//     const int slot = host.LoadPlugin("/usr/lib/vst/synth.so"); // -1: not a usable plug-in
//     CEffect* effect = host.GetEffect(slot);
//     std::string name;
//     if (effect->DispatchString(effGetProductString, 0, name, kVstMaxProductStrLen) != 0) ...
//
// Text from a plug-in always goes through a zeroed buffer of kVstStringBufferSize bytes and is
// read back no further than the caller's limit: plug-ins often write past the nominal sizes.
//
// Threads: Load and Unload run on the user-interface thread. The three flags are written by the
// host callback (any thread a plug-in calls from) and read by the engine, hence atomic. The
// record pointer is atomic too: the callback looks wrappers up by their record from any thread.
#pragma once

#include "host/vst2_interface.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zorvil {

class CEffectHost;

// Why the last Load failed (LoadFailure::None after a successful load).
enum class LoadFailure {
    None,
    NoHost,         // the wrapper has no host
    LibraryRefused, // the dynamic loader refused the file (not a library, missing symbols, ...)
    NoEntry,        // neither "main" nor "VSTPluginMain" is exported
    NullRecord,     // the entry returned no record
    WrongMagic,     // the record's magic is not 'VstP'
    NoMemory,       // the wrapper's buffers could not be allocated
    OpenFailed,     // the plug-in threw an exception while it was being opened
};

class CEffect {
public:
    explicit CEffect(CEffectHost* host) noexcept;
    virtual ~CEffect();
    CEffect(const CEffect&) = delete;
    CEffect& operator=(const CEffect&) = delete;

    // Loads the library at `path` (unloading whatever was loaded before); true when a valid
    // record is held. The library stays loaded until Unload even when its record was refused.
    virtual bool Load(std::string_view path);

    // effClose, then the library is freed and both path copies forgotten. False without a host.
    // The record is forgotten first, so effClose is sent once at most. A plug-in that throws
    // from effClose makes Unload throw EffectCloseError; its library then stays loaded.
    virtual bool Unload();

    // Reads the bank file at `path` and throws std::runtime_error when it is no bank. It does
    // not apply the bank to the plug-in: loading a bank into an effect, with its messages, is
    // the bank commands' work (files/effect_bank.h).
    virtual void LoadBank(std::string_view path);

    // The plug-in's dispatcher, 0 while nothing is loaded. A plug-in may throw through it.
    virtual intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0,
                              void* ptr = nullptr, float opt = 0.0f);

    // The accumulating and the replacing process call; nothing while nothing is loaded, and
    // ProcessReplacing also nothing unless the plug-in announced effFlagsCanReplacing.
    virtual void Process(float** inputs, float** outputs, int32_t frames);
    virtual void ProcessReplacing(float** inputs, float** outputs, int32_t frames);

    virtual void SetParameter(int32_t index, float value);
    virtual float GetParameter(int32_t index); // 0 while nothing is loaded

    // The library's folder (the text before the last '/'), or null when the path has none.
    virtual const char* GetDirectory() const;

    // The plug-in asked for a new editor size / asked to refresh its display.
    virtual void OnSizeEditor(int width, int height);
    virtual void OnUpdateDisplay();

    // A text query: `text` receives at most `maxLength` characters of what the plug-in wrote
    // into a zeroed kVstStringBufferSize buffer. Returns the dispatcher's answer.
    intptr_t DispatchString(int32_t opcode, int32_t index, std::string& text,
                            std::size_t maxLength);

    // effCanDo with an exact capability string; true when the answer is above 0.
    bool CanDo(std::string_view capability);

    AEffect* GetAEffect() const noexcept { return m_pEffect.load(std::memory_order_acquire); }
    bool HasFlag(int32_t flag) const noexcept;
    const std::string& GetPath() const noexcept { return m_strPath; }
    CEffectHost* GetHost() const noexcept { return m_pHost; }
    LoadFailure GetLoadFailure() const noexcept { return m_loadFailure; }
    // What went wrong in the last Load, in words (empty after a success).
    const std::string& GetLoadFailureText() const noexcept { return m_strLoadFailure; }

    // Set when the editor is open (effect windows), and by the host callback when the plug-in
    // asks for idle calls / MIDI; the last two are never cleared.
    std::atomic<bool> m_bEditorOpen{false};
    std::atomic<bool> m_bNeedIdle{false};
    std::atomic<bool> m_bWantMidi{false};

protected:
    // Releases the library and the path copies without effClose (the record is gone already).
    void FreeLibrary() noexcept;
    void Fail(LoadFailure failure, std::string text);

    CEffectHost* const m_pHost;
    std::atomic<AEffect*> m_pEffect{nullptr};
    std::string m_strPath;                     // the path given to Load
    void* m_hModule = nullptr;                 // dlopen handle
    std::optional<std::string> m_strDirectory; // the path before its last '/'
    LoadFailure m_loadFailure = LoadFailure::None;
    std::string m_strLoadFailure;
};

// Thrown by Unload when the plug-in threw from effClose: "the plug-in <path> threw an exception
// while it was being closed".
class EffectCloseError : public std::runtime_error {
public:
    explicit EffectCloseError(const std::string& path);
};

// Text for a load failure, e.g. "no entry point (neither \"main\" nor \"VSTPluginMain\")".
std::string_view DescribeLoadFailure(LoadFailure failure) noexcept;

} // namespace zorvil
