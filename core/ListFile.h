#pragma once

#include "core/Rows.h"
#include "platform/Files.h"

#include <string>
#include <vector>

// The two client list files: one entry per line, every line ended by CR LF. Rows are bytes
// and go back to the file exactly as they came.
namespace core {

struct ListFile {
    enum State {
        Read,       // rows hold the file's entries
        Missing,    // no such file: a first run; the close creates it
        Unreadable, // there but not readable: the close leaves it as it is
    };
    std::string path;
    State state = Missing;
    Rows rows;
    // Why an unreadable file could not be read.
    std::string reason;
    // The file as it was read, to tell later whether another copy of the program changed it;
    // the rows are read from these same bytes.
    Rows::Bytes bytes;
    platform::FileStamp stamp;
};

// Reads a list file; never blocks on a file that is not a regular one.
ListFile LoadListFile(const std::string& path);

// The notice for a list file that was not read: the first-run notice for a missing file, the
// reason for an unreadable one; empty for a file that was read.
std::string LoadNotice(const ListFile& list);

// The notice at close for a list file left as it was.
std::string LeftAloneNotice(const ListFile& list);

// The file's bytes for the rows.
std::string ListBytes(const Rows& rows);
// The bytes of a list file as read; none read as empty.
inline std::string_view BytesOf(const ListFile& list) {
    return list.bytes ? std::string_view(*list.bytes) : std::string_view();
}

} // namespace core
