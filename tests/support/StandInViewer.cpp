// Stands in for the VNC viewer: records the arguments it was started with, each ended by a NUL
// byte, in "viewer-args" in the program folder above its own Bin folder. Where processes have
// sessions, it also records in "viewer-detached" whether it runs in a session of its own with
// its standard streams on /dev/null. While "viewer-hold" is in that folder it keeps running, as
// a viewer showing a desktop; it ends with the number "viewer-exit" holds (0 without one).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool OnDevNull(int fd) {
    struct stat st {};
    struct stat null {};
    return ::fstat(fd, &st) == 0 && ::stat("/dev/null", &null) == 0 && st.st_rdev == null.st_rdev &&
           S_ISCHR(st.st_mode);
}

std::string Detached() {
    return std::string(::getsid(0) == ::getpid() ? "own-session" : "shared-session") + " " +
           (OnDevNull(0) && OnDevNull(1) && OnDevNull(2) ? "stdio-null" : "stdio-open");
}

} // namespace
#endif

namespace {

void WriteWhole(const std::string& path, const std::string& content) {
    const std::string temp = path + ".tmp";
    FILE* out = std::fopen(temp.c_str(), "wb");
    if (out == nullptr) {
        return;
    }
    std::fwrite(content.data(), 1, content.size(), out);
    std::fclose(out);
    std::remove(path.c_str());
    std::rename(temp.c_str(), path.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string folder = argv[0];
    folder.resize(folder.find_last_of("/\\")); // .../Bin
    folder.resize(folder.find_last_of("/\\")); // the program folder

    std::string record;
    for (int i = 0; i < argc; ++i) {
        record += argv[i];
        record += '\0';
    }
#if !defined(_WIN32)
    WriteWhole(folder + "/viewer-detached", Detached());
#endif
    WriteWhole(folder + "/viewer-args", record);
    const auto exists = [](const std::string& path) {
        FILE* in = std::fopen(path.c_str(), "rb");
        if (in) {
            std::fclose(in);
        }
        return in != nullptr;
    };
    while (exists(folder + "/viewer-hold")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    int code = 0;
    if (FILE* in = std::fopen((folder + "/viewer-exit").c_str(), "rb")) {
        if (std::fscanf(in, "%d", &code) != 1) {
            code = 0;
        }
        std::fclose(in);
    }
    return code;
}
