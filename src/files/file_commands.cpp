#include "files/file_commands.h"

#include "files/file_dialogs.h"
#include "files/file_io.h"
#include "files/midi_file.h"
#include "files/seq_effect_bank.h"

namespace zorvil {

std::vector<NoteRecord> NotesOf(const CPattern& pattern) {
    std::vector<NoteRecord> notes;
    for (const CPattern::Note& note : pattern.GetNotes())
        notes.push_back({note.step, note.key, note.velocity, note.length});
    return notes;
}

CFileCommands::CFileCommands(CPattern& pattern, CSeqHost& host, CProjectEffects& effects,
                             platform::CProfile& profile, IUserInterface& ui, Hooks hooks)
    : m_pattern(pattern), m_host(host), m_effects(effects), m_profile(profile), m_ui(ui),
      m_hooks(std::move(hooks)) {
    if (!m_hooks.newProject)
        m_hooks.newProject = [this] {
            m_pattern.Reset();
            m_host.RemoveAll();
            for (int slot = 0; slot < kProjectSlots; ++slot)
                m_effects.ClearSlot(slot);
        };
    if (!m_hooks.commandsDisabled)
        m_hooks.commandsDisabled = [this] { return m_pattern.IsPlaying(); };
}

void CFileCommands::SetHooks(Hooks hooks) {
    if (hooks.newProject) m_hooks.newProject = std::move(hooks.newProject);
    if (hooks.setTitle) m_hooks.setTitle = std::move(hooks.setTitle);
    if (hooks.commandsDisabled) m_hooks.commandsDisabled = std::move(hooks.commandsDisabled);
    if (hooks.patternChanged) m_hooks.patternChanged = std::move(hooks.patternChanged);
}

bool CFileCommands::Disabled() const {
    return m_hooks.commandsDisabled();
}

void CFileCommands::Message(std::string_view text, MessageIcon icon) {
    m_ui.MessageBox(text, {}, MessageButtons::Ok, icon);
}

std::string CFileCommands::GetTitle() const {
    return m_strPath.empty() ? std::string(kAppTitle) : std::string(kAppTitle) + " - " + m_strPath;
}

void CFileCommands::SetPath(std::string path) {
    m_strPath = std::move(path);
    if (m_hooks.setTitle) m_hooks.setTitle(GetTitle());
}

void CFileCommands::OnSave() {
    if (Disabled()) return;
    if (m_strPath.empty())
        OnSaveAs();
    else
        Write(m_strPath);
}

void CFileCommands::OnSaveAs() {
    if (Disabled()) return;
    if (auto path = AskForFile(m_ui, m_profile, kProjectFiles, FileDialogKind::Save)) Write(*path);
}

void CFileCommands::OnOpen() {
    if (Disabled()) return;
    if (auto path = AskForFile(m_ui, m_profile, kProjectFiles, FileDialogKind::Open)) Read(*path);
}

void CFileCommands::OnExportMidi() {
    if (auto path = AskForFile(m_ui, m_profile, kMidiFiles, FileDialogKind::Save))
        ExportMidiFile(*path, m_pattern.GetTempo(), m_pattern.GetStepsPerMeasure(),
                       NotesOf(m_pattern), m_ui);
}

void CFileCommands::OnLoadBank(int slot) {
    if (auto path = AskForFile(m_ui, m_profile, kBankFiles, FileDialogKind::Open))
        m_effects.Store(slot).LoadBank(*path, BankTargetOf(m_host, slot));
}

void CFileCommands::OnSaveBank(int slot) {
    CSeqEffect* effect = m_host.GetSeqEffect(slot);
    if (effect == nullptr) return;
    if (effect->m_strBankFile.empty())
        OnSaveBankAs(slot);
    else
        m_effects.Store(slot).SaveBank(effect->m_strBankFile, BankTargetOf(m_host, slot));
}

void CFileCommands::OnSaveBankAs(int slot) {
    if (m_host.GetSeqEffect(slot) == nullptr) return;
    if (auto path = AskForFile(m_ui, m_profile, kBankFiles, FileDialogKind::Save))
        m_effects.Store(slot).SaveBank(*path, BankTargetOf(m_host, slot));
}

ProjectImage CFileCommands::Capture() {
    ProjectImage image;
    image.tempo = m_pattern.GetTempo();
    image.measures = m_pattern.GetMeasures();
    image.stepsPerMeasure = m_pattern.GetStepsPerMeasure();
    image.notes = NotesOf(m_pattern);
    image.effects = m_effects.Capture();
    return image;
}

bool CFileCommands::Write(const std::string& path) {
    const ProjectImage image = Capture();
    for (const EffectImage& effect : image.effects) {
        if (!LibraryPathFitsProject(effect.libraryPath)) {
            Message(LibraryPathTooLongMessage(effect.libraryPath), MessageIcon::Error);
            return false;
        }
    }
    const auto cause = WriteProjectFile(path, image);
    if (cause != platform::FileErrorCause::None) {
        Message(files::CantOpenForWriteMessage(path, cause), MessageIcon::Error);
        return false;
    }
    SetPath(path);
    return true;
}

bool CFileCommands::Read(const std::string& path) {
    const ProjectFileReadResult file = ReadProjectFile(path);
    if (file.openError != platform::FileErrorCause::None) {
        Message(files::CantOpenForReadMessage(path, file.openError), MessageIcon::Error);
        return false;
    }
    m_hooks.newProject();
    SetPath(path);
    const ProjectReadResult& read = file.read;
    if (read.status == ProjectReadStatus::NotAProject) {
        Message(kNotAProjectMessage, MessageIcon::None);
        SetPath({});
        return false;
    }
    const ProjectImage& image = read.image;
    for (const NoteRecord& note : image.notes)
        m_pattern.AddNote(note.step, note.key, note.velocity, note.length);
    m_pattern.SetTempo(image.tempo);
    m_pattern.SetMeasures(image.measures);
    m_pattern.SetStepsPerMeasure(image.stepsPerMeasure);
    if (m_hooks.patternChanged) m_hooks.patternChanged();
    m_effects.Apply(image.effects);
    if (read.status == ProjectReadStatus::Truncated) {
        Message(kDamagedProjectMessage, MessageIcon::None);
        SetPath({});
        return false;
    }
    return true;
}

} // namespace zorvil
