#include "BuildConfig.h"
#include "CommandLine.h"
#include "PathHelpers.h"
#include "SchedulerSignals.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace {
bool hasDisplay()
{
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// The window lives in a module beside the executable (see WindowMain.cpp).
// Its entry carries the program's symbol version, and so do the core's
// symbols it uses: a module of another version either does not load
// against this program's core or offers no entry of this version.
int runWindow(int argc, char *argv[])
{
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string module = (executable.parent_path() / TIDEWELL_WINDOW_MODULE).string();
    void *handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char *failure = handle ? nullptr : ::dlerror();
    const auto windowMain = handle ? reinterpret_cast<int (*)(int, char **)>(
                                         ::dlvsym(handle, "tidewell_window_main", tidewell::build::symbolVersion))
                                   : nullptr;
    if (windowMain) // never unloaded: what the window made lives until the process ends
        return windowMain(argc, argv);
    if (handle || std::strstr(failure, "version `TIDEWELL_"))
        std::fprintf(stderr,
                     "Tidewell Episode Keeper %s cannot open its window: %s is of another version. Install the "
                     "program again, or start it again if it was updated while it ran.\n",
                     tidewell::build::version, module.c_str());
    else
        std::fprintf(stderr, "Tidewell Episode Keeper cannot load its window: %s\n", failure);
    return 1;
}
} // namespace

int main(int argc, char *argv[])
{
    // A service manager may send a signal the moment the process exists
    // (systemctl reload right after start): the headless scheduler catches
    // them before it does anything else.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            tidewell::schedulersignals::catchFromNow();
            break;
        }
    }
    if (tidewell::wantsCommandLine(argumentsOf(argc, argv))) {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("tidewell-episode-keeper"));
        QCoreApplication::setApplicationVersion(QString::fromLatin1(tidewell::build::version));
        return tidewell::runCommandLine(QCoreApplication::arguments(), tidewell::programFolder());
    }
    if (!hasDisplay()) {
        std::fputs("Tidewell Episode Keeper needs a graphical desktop, and no display was found "
                   "(neither DISPLAY nor WAYLAND_DISPLAY is set); see --help for what works without one.\n",
                   stderr);
        return 1;
    }
    return runWindow(argc, argv);
}
