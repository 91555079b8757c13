#include "app/UserTexts.h"

#include "dbupdate/Attachments.h"
#include "dbupdate/UpdateLock.h"
#include "platform/Text.h"

namespace app {

std::string UpdateInProgressWarning(const std::optional<dbupdate::LockHolder>& holder)
{
    // An engine that does not name the holder's transaction leaves it unnamed.
    const std::string who = holder ? " (" + AttachmentLine(holder->attachment) + ", з " + holder->since + ")" : "";
    return "Базу даних уже оновлює інше робоче місце" + who +
           ". Дочекайтеся завершення та перезапустіть оновлення!";
}

std::string InvalidIntegerMessage(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

std::string ErrorBoxText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

std::string AttachmentLine(const dbupdate::Attachment& attachment)
{
    return (attachment.address.empty() ? "localhost" : attachment.address) + ", " + attachment.user;
}

std::string ClientLine(const dbupdate::Attachment& attachment)
{
    return (attachment.process.empty() ? std::string("a client without a program name") : attachment.process) +
           " (" + AttachmentLine(attachment) + ")";
}

std::string OtherAttachmentReport(const dbupdate::Attachment& attachment)
{
    return "Also attached to the database: " + ClientLine(attachment);
}

std::string FailureReport(const std::string& path, int statements, int blobFiles)
{
    return path + ": " + platform::Counted(statements, "failed statement", "failed statements") + ", " +
           platform::Counted(blobFiles, "failed blob file", "failed blob files");
}

std::string InterruptionPlace(std::int64_t package, const std::string& item)
{
    const std::string where = "package " + std::to_string(package);
    return item.empty() ? where : item + " of " + where;
}

}  // namespace app
