// Stands in for the VNC viewer: records how it was started into "viewer-args" in the program
// folder above its own Bin folder. The first entries tell whether it runs in a session of its
// own with its standard streams on /dev/null; then one entry per argument, each ended by NUL.
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool OnDevNull(int fd) {
    struct stat st {};
    struct stat null {};
    return ::fstat(fd, &st) == 0 && ::stat("/dev/null", &null) == 0 && st.st_rdev == null.st_rdev &&
           S_ISCHR(st.st_mode);
}

} // namespace

int main(int argc, char** argv) {
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        return 1;
    }
    std::string folder = self;
    folder.resize(folder.rfind('/')); // .../Bin
    folder.resize(folder.rfind('/')); // the program folder

    std::string record;
    record += ::getsid(0) == ::getpid() ? "own-session" : "shared-session";
    record += '\0';
    record += OnDevNull(0) && OnDevNull(1) && OnDevNull(2) ? "stdio-null" : "stdio-open";
    record += '\0';
    for (int i = 0; i < argc; ++i) {
        record += argv[i];
        record += '\0';
    }
    const std::string temp = folder + "/viewer-args.tmp";
    FILE* out = std::fopen(temp.c_str(), "wb");
    if (out == nullptr) {
        return 1;
    }
    std::fwrite(record.data(), 1, record.size(), out);
    std::fclose(out);
    return std::rename(temp.c_str(), (folder + "/viewer-args").c_str()) == 0 ? 0 : 1;
}
