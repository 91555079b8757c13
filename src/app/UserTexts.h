#pragma once
// The texts the updater shows its user that are composed or shared: the
// refusals' warning boxes, how attachments and run logs are named, the
// error box's full-stop rule and where a run was interrupted. The memo lines
// of a single step are written where the step is.

#include <cstdint>
#include <optional>
#include <string>

namespace dbupdate {
struct Attachment;
struct LockHolder;
}

namespace app {

// The memo's last line of a refused update or rehearsal.
inline constexpr const char* kUpdateRefusedLine = "Оновлення не можливо!!!";
// The memo's reason and the warning box's text when the main application
// runs (on this workstation, or attached from another one).
inline constexpr const char* kProgramRunningLine = "Программа запущена";
inline constexpr const char* kProgramRunningWarning =
    "ПК Norvex запущена. Будь ласка, закрийте програму та перезапустіть оновлення!";
// The memo line and the warning box's text when another updater holds the
// database's update lock.
inline constexpr const char* kUpdateInProgressLine = "Оновлення вже виконується з іншого робочого місця";
std::string UpdateInProgressWarning(const std::optional<dbupdate::LockHolder>& holder);
// The restore's refusal while other clients are attached: the memo line, the
// warning box's text (a line per client follows) and the memo's last line.
inline constexpr const char* kClientsAttachedLine = "До бази даних підключені інші програми";
inline constexpr const char* kClientsAttachedWarning =
    "До бази даних підключені інші програми. Закрийте їх та повторіть відновлення!";
inline constexpr const char* kRestoreRefusedLine = "Відновлення не можливо!!!";

// The text of the error raised for a package name whose number is not an
// integer.
std::string InvalidIntegerMessage(const std::string& text);

// The text the standard error box shows for a message: a full stop is
// appended when the message is not empty and its last character's code is
// greater than that of ".".
std::string ErrorBoxText(const std::string& message);

// How the warning box names an attachment of the main application: the
// workstation's address ("localhost" for a local one), ", " and the user.
std::string AttachmentLine(const dbupdate::Attachment& attachment);

// How a report names another client: its program ("a client without a
// program name" when it gave none) and its AttachmentLine in brackets.
std::string ClientLine(const dbupdate::Attachment& attachment);

// The report of a client of another program attached to the database,
// which does not stop the update (an administration tool, a backup).
std::string OtherAttachmentReport(const dbupdate::Attachment& attachment);

// The report of one run log's failures, e.g. "/tmp/.../122.001.sql.log: 2
// failed statements, 1 failed blob file".
std::string FailureReport(const std::string& path, int statements, int blobFiles);

// Where a run stopped: "package N", or "ITEM of package N" when it was at a
// script or blob file.
std::string InterruptionPlace(std::int64_t package, const std::string& item);

}  // namespace app
