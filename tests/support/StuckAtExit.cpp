// The program as it starts for a user, with a thread that never ends and whose join is left to
// the process's exit, as a library's thread stuck on a server that does not answer would be.
// The window closes itself once it is shown, as the user would close it.
#include "app/Program.h"

#include <QTimer>
#include <QWidget>

#include <condition_variable>
#include <mutex>
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

} // namespace

int main(int argc, char* argv[]) {
    static Stuck stuck;
    return RunProgram(argc, argv, [](QWidget& window) {
        QTimer::singleShot(0, &window, [&window] { window.close(); });
    });
}
