// Files as the program uses them: whole-file writes, short exclusive reads, streaming a file
// to a server, files received piece by piece (part files), the temporary folder, listing and
// deletion by wildcard mask.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Files {
  public:
    using Handle = std::intptr_t;
    static constexpr Handle kInvalid = -1;

    virtual ~Files() = default;

    // Opens for reading; with exclusive, nobody else may open the file while it is open.
    // Returns kInvalid and the system error code on failure.
    virtual Handle openRead(const std::u16string& path, bool exclusive, int& error) = 0;
    // Bytes read (0 at the end of the file), or -1 with the system error code.
    virtual int read(Handle file, void* buffer, int size, int& error) = 0;
    virtual void close(Handle file) = 0;

    // Opens a file the program is about to start, for reading, so that what is checked is what
    // starts: on Windows nobody may write, rename or delete it while it is open; on Linux only
    // a regular file of the user's, never through a link (stillNames then tells whether the
    // path still names it). Returns kInvalid and the system error code on failure.
    virtual Handle openToStart(const std::u16string& path, int& error) = 0;
    // Whether path names the very file that file (from openToStart) is open on: the same device
    // and inode on Linux; on Windows, where that file cannot be renamed or deleted, always.
    virtual bool stillNames(Handle file, const std::u16string& path) = 0;

    // Creates or replaces the file with exactly these bytes, or leaves no file: a write cut
    // short removes what was written. On failure the text says why:
    // Cannot create file "<path>". <system reason>
    virtual bool writeWhole(const std::u16string& path, const std::string& bytes,
                            std::u16string& errorText) = 0;

    // A part file: a file received piece by piece, to be renamed once whole. Created new (never
    // an existing file, never through a link) for the user alone, open for reading and writing.
    virtual Handle createPart(const std::u16string& path, int& error) = 0;
    // Reopens a part file kept from an earlier run, for reading it from its start and then
    // appending: only a regular file of the user's, never through a link.
    virtual Handle reopenPart(const std::u16string& path, int& error) = 0;
    // Writes all of the bytes at the file's position, or fails with the system error code.
    virtual bool write(Handle file, const void* data, std::size_t size, int& error) = 0;
    // Empties the file; its position goes back to the start.
    virtual bool truncate(Handle file, int& error) = 0;
    // Gives a closed file a new name in the same folder, replacing a file of that name in one
    // step (the new name holds the old file or the new one, never a mixture).
    virtual bool rename(const std::u16string& from, const std::u16string& to, int& error) = 0;
    // Deletes one file (never a folder); false when it cannot.
    virtual bool remove(const std::u16string& path) = 0;

    struct Entry {
        std::u16string name;          // without the folder
        std::int64_t ageSeconds = 0;  // since it was last written
    };
    // The files (not folders) of folder whose names match the wildcard mask.
    virtual std::vector<Entry> list(const std::u16string& folder, const std::u16string& mask) = 0;

    // The folder of the run's files, ending with the path separator: the user's temporary folder
    // on Windows; on Linux a private folder on disk (files of any size). Empty when the system
    // cannot tell (its error then is the last system error).
    virtual std::u16string temporaryFolder() = 0;
    // Deletes the files (hidden and system ones too) in folder whose names match the wildcard
    // mask; folders are skipped and files that cannot be deleted are left silently.
    virtual void deleteByMask(const std::u16string& folder, const std::u16string& mask) = 0;
    // The path separator of the platform: '\\' or '/'.
    virtual char16_t separator() = 0;
};

std::unique_ptr<Files> createNativeFiles();

}  // namespace platform
