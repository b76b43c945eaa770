#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Runs `body` in a child process as an ordinary user and returns what it returned. Root passes
// every permission check, so when the tests run as root (as in CI) the child first gives
// `handedOver` (each path with everything below it) to the user "nobody" and becomes that user;
// a read-only folder or file then binds the code under test as it binds any user. Without root
// the child runs as the current user. A child that fails to run records a test failure.
inline std::string RunAsOrdinaryUser(const std::vector<std::string>& handedOver, const std::function<std::string()>& body)
{
    int channel[2];
    if (::pipe(channel) != 0) {
        ADD_FAILURE() << "pipe failed";
        return "<no child>";
    }
    const pid_t child = ::fork();
    if (child == -1) {
        ADD_FAILURE() << "fork failed";
        return "<no child>";
    }
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
            const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
            for (const std::string& path : handedOver) {
                if (::lchown(path.c_str(), uid, gid) != 0) {
                    ::_exit(3);
                }
                std::error_code ignored;
                for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ignored)) {
                    if (::lchown(entry.path().c_str(), uid, gid) != 0) {
                        ::_exit(3);
                    }
                }
            }
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0 || ::geteuid() == 0) {
                ::_exit(4);
            }
        }
        const std::string result = body();
        const bool sent = ::write(channel[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
        ::_exit(sent ? 0 : 5);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[4096];
    ssize_t length = 0;
    while ((length = ::read(channel[0], buffer, sizeof buffer)) > 0 || (length < 0 && errno == EINTR)) {
        result.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) == -1 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the child running as an ordinary user failed (status " << status << ")";
        return "<child failed>";
    }
    return result;
}
