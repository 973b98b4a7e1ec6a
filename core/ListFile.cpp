#include "core/ListFile.h"

#include "core/DisplayText.h"
#include "platform/Files.h"
#include "platform/TextLines.h"

namespace core {

ListFile LoadListFile(const std::string& path) {
    ListFile list;
    list.path = path;
    platform::FileBytes read = platform::ReadBytes(path);
    if (read.bytes) {
        list.state = ListFile::Read;
        list.bytes = std::make_shared<const std::string>(std::move(*read.bytes));
        list.rows = Rows(list.bytes);
        list.stamp = read.stamp;
    } else if (read.missing) {
        list.state = ListFile::Missing;
    } else {
        list.state = ListFile::Unreadable;
        list.reason = std::move(read.reason);
    }
    return list;
}

std::string LoadNotice(const ListFile& list) {
    switch (list.state) {
    case ListFile::Missing:
        return "Cannot open file " + ShownPath(list.path) +
               ".\nIf this is your first run of My Brindle Viewer this file will be "
               "created\nupon closing the program.";
    case ListFile::Unreadable:
        return "Cannot open file " + ShownPath(list.path) + ": " + list.reason +
               ".\nThe file is left as it is: the program will not write over it when it closes.";
    case ListFile::Read:
        break;
    }
    return {};
}

std::string LeftAloneNotice(const ListFile& list) {
    return "The file " + ShownPath(list.path) +
           " was left as it is: it could not be read when the program started, so the list "
           "shown was not saved into it.";
}

std::string ListBytes(const Rows& rows) {
    return rows.Join();
}

} // namespace core
