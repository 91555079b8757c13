#include "dbupdate/BlobLoader.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/Transaction.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <cctype>

namespace dbupdate {

namespace {

// Cuts text at its first "." into head and rest; without a "." the head is
// empty and the text stays whole.
std::string TakePart(std::string& text)
{
    const auto dot = text.find('.');
    if (dot == std::string::npos)
        return {};
    std::string head = text.substr(0, dot);
    text.erase(0, dot + 1);
    return head;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

BlobTarget ParseBlobName(const std::string& fileName)
{
    std::string rest = fileName;
    if (rest.size() >= 4) {
        std::string tail = rest.substr(rest.size() - 4);
        for (char& c : tail)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (tail == ".blo")
            rest.resize(rest.size() - 4);
    }
    BlobTarget target;
    target.table = TakePart(rest);
    target.column = TakePart(rest);
    target.key = rest;
    const std::string condition = "(" + ReplaceAll(ReplaceAll(rest, " ", "="), ".", ")and(") + ")";
    target.statement = "update " + target.table + " set " + target.column + " = :" + target.column + " where " +
                       condition;
    return target;
}

void LoadBlobFile(UpdateContext& context, const std::string& path)
{
    const BlobTarget target = ParseBlobName(platform::FileNameOf(path));
    CDBStatement statement(context.db);
    try {
        statement.SetSQL(target.statement);
        ScopedTransaction transaction(context.db);
        statement.LoadParamFromFile(target.column, path);
        statement.Execute();
        transaction.Commit();
        ++context.blobFilesLoaded;
    } catch (const std::exception& error) {
        // Before any script has run there is no run log yet; the failure then
        // goes to a log of the blob file's own instead of being lost.
        const std::string logPath = context.runLogPath.empty() ? path + ".log" : context.runLogPath;
        context.failedBlobFiles.push_back({platform::FileNameOf(path), logPath});
        if (LogFailure(context, logPath, statement.SQL() + "\n", error, true))
            throw;
    }
}

void LoadBlobFiles(UpdateContext& context, const std::string& upDir, view::IProgressBar* bar,
                   view::ILabel* itemLabel)
{
    std::vector<std::string> files;
    platform::ListFiles(files, upDir, "*.blo");
    const std::size_t count = files.size();
    for (std::size_t k = 0; k < count; ++k) {
        StopIfTerminationRequested(platform::FileNameOf(files[k]));
        if (itemLabel) {
            itemLabel->SetCaption(platform::FileNameOf(files[k]) + " (" + std::to_string(k + 1) + "/" +
                                  std::to_string(count) + ")");
        }
        LoadBlobFile(context, files[k]);
        MarkDone(files[k], "~blo");
        if (bar)
            bar->SetPosition(bar->Position() + 1);
        context.view.ProcessMessages();
    }
}

}  // namespace dbupdate
