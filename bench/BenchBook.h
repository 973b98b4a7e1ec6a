#pragma once

#include <filesystem>
#include <fstream>
#include <string>

// A folder of the benchmarks' own holding a book of clients "Client number <i> Ltd" with IDs
// from 100000 on.
inline std::filesystem::path WriteBook(const char* name, int clients) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::string names;
    std::string ids;
    for (int i = 0; i < clients; ++i) {
        names += "Client number " + std::to_string(i) + " Ltd\r\n";
        ids += std::to_string(100000 + i) + "\r\n";
    }
    std::ofstream(dir / "clientlist.txt", std::ios::binary) << names;
    std::ofstream(dir / "clientIDlist.txt", std::ios::binary) << ids;
    return dir;
}
