#pragma once

// A loopback HTTP server for benchmarks: a child process that answers every
// GET with one file, sent with sendfile(), so that serving costs the process
// being measured nothing and hardly any processor time.

#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tidewell::bench {

class FileServer
{
public:
    FileServer(const QString &path, const QByteArray &contentType)
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(listener, 8) != 0) {
            std::perror("listen");
            std::exit(1);
        }
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the benchmark
            serve(listener, path.toLocal8Bit(), contentType);
        }
        ::close(listener);
    }
    ~FileServer()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    FileServer(const FileServer &) = delete;
    FileServer &operator=(const FileServer &) = delete;

    // http://127.0.0.1:<port><path>; every path gets the file.
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path; }

private:
    [[noreturn]] static void serve(int listener, const QByteArray &path, const QByteArray &contentType)
    {
        for (;;) {
            const int client = ::accept(listener, nullptr, nullptr);
            if (client < 0)
                continue;
            char request[8192];
            [[maybe_unused]] const auto got = ::read(client, request, sizeof request);
            const int file = ::open(path.constData(), O_RDONLY);
            struct stat info = {};
            ::fstat(file, &info);
            const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\nContent-Length: " +
                                    QByteArray::number(qint64(info.st_size)) + "\r\nConnection: close\r\n\r\n";
            [[maybe_unused]] const auto sent = ::write(client, head.constData(), std::size_t(head.size()));
            off_t offset = 0;
            while (offset < info.st_size) {
                if (::sendfile(client, file, &offset, std::size_t(info.st_size - offset)) <= 0)
                    break;
            }
            ::close(file);
            ::close(client);
        }
    }

    pid_t m_pid = -1;
    quint16 m_port = 0;
};

} // namespace tidewell::bench
