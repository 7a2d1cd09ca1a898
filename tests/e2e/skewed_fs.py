#!/usr/bin/env python3
"""A pass-through file system whose file times run behind (or ahead of) the local clock, as a
network share's do when its server's clock differs: every time it shows is the real one plus
OFFSET seconds, and a time set through it is stored minus OFFSET. Given LOG, it writes there each
fsync and rename it serves, in the order served ("fsync PATH", "rename OLD NEW").

It can misbehave further, as drives served by a program or a network redirector do:
--inodes=zero gives every file and folder the number 0, --inodes=name gives each the number of its
name (so files of one name in two folders share it); --refuse-renames fails every rename with
"permission denied".

    skewed_fs.py BACKING MOUNTPOINT OFFSET [LOG] [--inodes=zero|name] [--refuse-renames]
    (runs in the foreground until unmounted)
"""

import errno
import os
import sys
import zlib

try:
    from fusepy import FUSE, FuseOSError, Operations  # Debian's name for it
except ImportError:
    from fuse import FUSE, FuseOSError, Operations


class Skewed(Operations):
    def __init__(self, backing, offset, log=None, inodes=None, refuse_renames=False):
        self.backing = backing
        self.offset = offset
        self.log = log
        self.inodes = inodes
        self.refuse_renames = refuse_renames

    def _note(self, *words):
        if self.log is not None:
            self.log.write(" ".join(words) + "\n")
            self.log.flush()

    def _full(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def _call(self, function, *args):
        try:
            return function(*args)
        except OSError as error:
            raise FuseOSError(error.errno or errno.EIO)

    def getattr(self, path, fh=None):
        st = self._call(os.lstat, self._full(path))
        attributes = {key: getattr(st, key) for key in ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size", "st_ino")}
        if self.inodes == "zero":
            attributes["st_ino"] = 0
        elif self.inodes == "name":
            attributes["st_ino"] = 1 + zlib.crc32(os.path.basename(path).encode())
        for key in ("st_atime", "st_mtime", "st_ctime"):
            attributes[key] = getattr(st, key) + self.offset
        return attributes

    def utimens(self, path, times=None):
        if times is not None:
            times = tuple(t - self.offset for t in times)
        return self._call(os.utime, self._full(path), times)

    def readdir(self, path, fh):
        return [".", ".."] + self._call(os.listdir, self._full(path))

    def access(self, path, mode):
        if not os.access(self._full(path), mode):
            raise FuseOSError(errno.EACCES)

    def chmod(self, path, mode):
        return self._call(os.chmod, self._full(path), mode)

    def chown(self, path, uid, gid):
        return self._call(os.chown, self._full(path), uid, gid)

    def readlink(self, path):
        return self._call(os.readlink, self._full(path))

    def mkdir(self, path, mode):
        return self._call(os.mkdir, self._full(path), mode)

    def rmdir(self, path):
        return self._call(os.rmdir, self._full(path))

    def unlink(self, path):
        return self._call(os.unlink, self._full(path))

    def symlink(self, target, source):
        return self._call(os.symlink, source, self._full(target))

    def link(self, target, source):
        return self._call(os.link, self._full(source), self._full(target))

    def rename(self, old, new):
        if self.refuse_renames:
            raise FuseOSError(errno.EACCES)
        result = self._call(os.rename, self._full(old), self._full(new))
        self._note("rename", old, new)
        return result

    def statfs(self, path):
        st = self._call(os.statvfs, self._full(path))
        return {key: getattr(st, key) for key in ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail",
                                                   "f_ffree", "f_files", "f_flag", "f_frsize", "f_namemax")}

    def open(self, path, flags):
        return self._call(os.open, self._full(path), flags)

    def create(self, path, mode, fi=None):
        return self._call(os.open, self._full(path), os.O_RDWR | os.O_CREAT, mode)

    def read(self, path, size, offset, fh):
        return self._call(os.pread, fh, size, offset)

    def write(self, path, data, offset, fh):
        return self._call(os.pwrite, fh, data, offset)

    def truncate(self, path, length, fh=None):
        if fh is not None:
            return self._call(os.ftruncate, fh, length)
        return self._call(os.truncate, self._full(path), length)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        return self._call(os.close, fh)

    def fsync(self, path, datasync, fh):
        result = self._call(os.fsync, fh)
        self._note("fsync", path)
        return result


if __name__ == "__main__":
    flags = [a for a in sys.argv[1:] if a.startswith("--")]
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    backing, mountpoint, offset = args[0], args[1], float(args[2])
    log = open(args[3], "a", encoding="utf-8") if len(args) > 3 else None
    inodes = next((f.split("=", 1)[1] for f in flags if f.startswith("--inodes=")), None)
    FUSE(Skewed(os.path.abspath(backing), offset, log, inodes, "--refuse-renames" in flags), mountpoint,
         foreground=True, allow_other=True, use_ino=True)
