#include "DeviceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

int CDeviceLock::TryLock(int fd) {
    const int openError = errno;
    Release();
    m_holder.clear();
    if (fd < 0) {
        return openError;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            m_holder = FindHolder(fd);
        }
        ::close(fd);
        return error == EWOULDBLOCK ? EBUSY : error;
    }
    m_fd = fd;
    return 0;
}

void CDeviceLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd);  // closing the only descriptor of the open file lets go of the lock
        m_fd = -1;
    }
}

std::string CDeviceLock::FindHolder(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return {};
    }
    // Lines read "1: FLOCK  ADVISORY  WRITE 1234 00:05:567 0 EOF"; waiters carry a "->".
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        std::string number, kind, mode, access, pid, id;
        words >> number >> kind;
        if (kind == "->" || kind != "FLOCK") {
            continue;
        }
        words >> mode >> access >> pid >> id;
        if (id != file) {
            continue;
        }
        std::string name;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::getline(comm, name);
        return (name.empty() ? std::string("a process") : name) + " (pid " + pid + ")";
    }
    return {};
}
