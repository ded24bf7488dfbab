#pragma once
// Files replaced whole, on a server or on the local disk: written under a
// temporary name in the target's folder and then renamed over the target, so
// that the target is always either the old file or the whole new one. The
// FTP and SFTP clients and the local side of downloads share the naming rule;
// the clients share the order of the steps and what happens after a failure.
#include <cstddef>
#include <functional>
#include <string>

namespace tl {

// The longest bare file name that the usual file systems take, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;

// Where a file is written before it replaces `path`: the same folder, the
// bare name with "." before it and ".part" after it ("www/.index.html.part").
// The leading dot hides it from most servers' listings, and it does not end
// in ".txt", so a listing of the data folder never offers it as a post.
// A bare name too long for that keeps as much of its beginning as fits
// (never half of a UTF-8 character) followed by "~" and a hash of the whole
// name, within kMaxFileNameBytes (the rule of temporarySibling, which the
// program's own saves follow too).
// The same path gives the same name every time: a transfer killed half way
// leaves at most one such file per file, and the next transfer of that file
// replaces it.
std::string temporaryNameFor(const std::string &path);

// The steps of one upload through a temporary name, as a protocol does them.
struct ReplaceSteps {
    // Uploads the file under `temp`; sets `stored` as soon as the server may
    // hold a file (or part of one) under that name.
    std::function<void(const std::string &temp, bool &stored)> store;
    // Renames `temp` over `target` and throws when it cannot. Where the
    // target had to be removed first and the rename then failed, sets
    // `keepTemp` before throwing: the temporary file is then the only copy
    // of the new content.
    std::function<void(const std::string &temp, const std::string &target, bool &keepTemp)>
        renameOver;
    // Removes the temporary file; throws with the reason when it cannot.
    std::function<void(const std::string &temp)> remove;
    // A line for the user's log (no exception carries it).
    std::function<void(const std::string &line)> log;
};

// Uploads `target` through temporaryNameFor(target). After a failure or
// Cancel the temporary file is removed, best effort (the log says when it
// could not be), and the failure passes on.
void uploadThroughTemporaryName(const std::string &target, const ReplaceSteps &steps);

// Log lines of the clean-up after a failed upload.
std::string temporaryNotRemovedText(const std::string &temp, const std::string &why);
std::string temporaryKeptText(const std::string &target, const std::string &temp);

} // namespace tl
