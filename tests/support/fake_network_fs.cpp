// Makes a folder look like a network file system (NFS) to statfs(), for the tests of stores on network shares. The
// folder is named by the environment variable TELVANE_FAKE_NETWORK_FS. Linked into a test program, it stands in for
// the C library's statfs() there; built as a module, it does the same for another program through LD_PRELOAD.
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/vfs.h>

extern "C" int statfs(const char* path, struct statfs* buffer)
{
    using Real = int (*)(const char*, struct statfs*);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "statfs"));
    const int rc = real(path, buffer);
    const char* faked = std::getenv("TELVANE_FAKE_NETWORK_FS");
    if (rc == 0 && faked && *faked && std::strncmp(path, faked, std::strlen(faked)) == 0) {
        buffer->f_type = 0x6969; // NFS
    }
    return rc;
}
