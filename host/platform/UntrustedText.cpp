#include "host/platform/UntrustedText.h"

#include "host/platform/WindowsText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifndef _WIN32
#  include <cerrno>
#  include <fcntl.h>
#  include <unistd.h>
#  ifdef __linux__
#    include <sys/uio.h>
#  endif
#endif

namespace wqhost {

namespace {

// Reads are made a page at a time at most, never across a page's end: a
// read either gets a whole piece or fails as a whole, so the readable part
// of a text that runs into an unmapped page is known to the byte.
constexpr size_t kPiece = 4096;

size_t pieceAt(uintptr_t address, size_t remaining) {
    const size_t toPageEnd = kPiece - static_cast<size_t>(address % kPiece);
    return std::min(remaining, toPageEnd);
}

#ifdef _WIN32

bool copyPiece(const void *from, void *to, size_t size) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(from, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT)
        return false;
    const DWORD unreadable = PAGE_NOACCESS | PAGE_GUARD;
    if ((info.Protect & unreadable) != 0)
        return false;
    SIZE_T got = 0;
    return ReadProcessMemory(GetCurrentProcess(), from, to, size, &got) && got == size;
}

#else

// A pipe of the host's own: write() of a bad address fails with EFAULT,
// where reading it would crash. Used where process_vm_readv is not allowed.
bool copyThroughPipe(const void *from, void *to, size_t size) {
    static int ends[2] = {-1, -1};
    if (ends[0] < 0) {
        if (::pipe(ends) != 0)
            return false;
        for (int fd : ends)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    ssize_t wrote;
    do
        wrote = ::write(ends[1], from, size);
    while (wrote < 0 && errno == EINTR);
    if (wrote < 0)
        return false;
    size_t done = 0;
    while (done < static_cast<size_t>(wrote)) {
        const ssize_t got =
            ::read(ends[0], static_cast<char *>(to) + done, static_cast<size_t>(wrote) - done);
        if (got <= 0 && errno != EINTR)
            return false;
        if (got > 0)
            done += static_cast<size_t>(got);
    }
    return static_cast<size_t>(wrote) == size;
}

bool copyPiece(const void *from, void *to, size_t size) {
#  ifdef __linux__
    static bool useSystemCall = true;
    if (useSystemCall) {
        iovec local{to, size};
        iovec remote{const_cast<void *>(from), size};
        const ssize_t got = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
        if (got == static_cast<ssize_t>(size))
            return true;
        if (got < 0 && errno == EFAULT)
            return false;
        // Not allowed here (a sandbox, an emulator): the pipe from now on.
        useSystemCall = false;
    }
#  endif
    return copyThroughPipe(from, to, size);
}

#endif

} // namespace

bool UntrustedText::copy(const void *ptr, void *out, size_t size) {
    uintptr_t address = reinterpret_cast<uintptr_t>(ptr);
    char *to = static_cast<char *>(out);
    while (size > 0) {
        if (address == 0)
            return false;
        const size_t piece = pieceAt(address, size);
        if (!copyPiece(reinterpret_cast<const void *>(address), to, piece))
            return false;
        address += piece;
        to += piece;
        size -= piece;
    }
    return true;
}

UntrustedText UntrustedText::read(const void *ptr, size_t bound) {
    UntrustedText result;
    if (!ptr)
        return result;
    uintptr_t address = reinterpret_cast<uintptr_t>(ptr);
    char piece[kPiece];
    // The bound counts the bytes before the NUL; the NUL itself may follow.
    size_t remaining = bound + 1;
    while (remaining > 0) {
        const size_t size = pieceAt(address, remaining);
        if (!copyPiece(reinterpret_cast<const void *>(address), piece, size)) {
            result.status = Status::Unreadable;
            result.readable = result.text.size();
            return result;
        }
        if (const void *nul = std::memchr(piece, '\0', size)) {
            result.text.append(piece, static_cast<size_t>(static_cast<const char *>(nul) - piece));
            result.status = Status::Text;
            return result;
        }
        result.text.append(piece, size);
        address += size;
        remaining -= size;
    }
    result.text.resize(bound);
    result.status = Status::Unterminated;
    return result;
}

std::string UntrustedText::fault(size_t bound) const {
    switch (status) {
    case Status::Text: return std::string();
    case Status::Null: return "is a null pointer";
    case Status::Unreadable:
        return readable == 0 ? "points to memory the host cannot read"
                             : "runs into memory the host cannot read after " +
                                   std::to_string(readable) + " bytes without a NUL";
    case Status::Unterminated: break;
    }
    return "has no NUL within its first " + std::to_string(bound) + " bytes";
}

} // namespace wqhost
