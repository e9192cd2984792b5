#include "files/file_dialogs.h"

namespace zorvil {

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::optional<std::string> AskForFile(IUserInterface& ui, platform::CProfile& profile,
                                      const FileType& type, FileDialogKind kind) {
    const std::string folder = profile.GetString(type.section, "Path", "");
    FileDialogRequest request;
    request.initialPath = (folder.empty() ? "" : folder + "/") + "*." + type.extension;
    request.filter = type.filter;
    request.defaultExtension = type.extension;
    request.overwritePrompt = kind == FileDialogKind::Save;
    request.refuseReadOnly = kind == FileDialogKind::Save && type.refuseReadOnly;
    std::optional<std::string> path =
        kind == FileDialogKind::Save ? ui.SaveFileDialog(request) : ui.OpenFileDialog(request);
    if (path) profile.WriteString(type.section, "Path", FolderOf(*path));
    return path;
}

} // namespace zorvil
