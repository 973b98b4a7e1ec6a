// The program as it starts for a user, with two threads a library could leave behind:
// - one that never ends, whose join is left to the process's exit, as a library's thread stuck
//   on a server that does not answer would be;
// - one stuck while it ends, in the destructor of its thread-specific data. On Windows the
//   threads library then starts no other thread until it has ended: a timer thread made by that
//   library would never run.
// Without a book and settings beside it, it writes them, so that no first-run notice waits for
// a user. The window closes itself once it is shown, as the user would close it.
#include "app/Program.h"

#include <QTimer>
#include <QWidget>

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace {

class Stuck {
public:
    ~Stuck() { thread_.join(); } // never returns

private:
    std::mutex mutex_;
    std::condition_variable never_;
    std::thread thread_{[this] {
        std::unique_lock<std::mutex> lock(mutex_);
        never_.wait(lock, [] { return false; });
    }};
};

// Ends its thread's function at once; the thread's end then never comes.
void StuckWhileEnding() {
    static pthread_key_t key;
    pthread_key_create(&key, [](void*) {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::hours(1));
        }
    });
    std::thread([] { pthread_setspecific(key, &key); }).detach();
}

void WriteIfMissing(const std::string& path, const char* text) {
    if (FILE* existing = std::fopen(path.c_str(), "rb")) {
        std::fclose(existing);
    } else if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fputs(text, file);
        std::fclose(file);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    static Stuck stuck;
    const std::string self = argv[0];
    const std::string folder = self.substr(0, self.find_last_of("/\\") + 1);
    WriteIfMissing(folder + "myviewer.ini", "[port]\r\nviewer=5901\r\n");
    WriteIfMissing(folder + "clientlist.txt", "Acme\r\n");
    WriteIfMissing(folder + "clientIDlist.txt", "42\r\n");
    return RunProgram(argc, argv, [](QWidget& window) {
        // Once the libraries have made their keys: a key made later would wait for that lock.
        StuckWhileEnding();
        QTimer::singleShot(0, &window, [&window] { window.close(); });
    });
}
