#!/usr/bin/python3
"""A slow network share for the tests: a read-only view of a folder that waits
before answering each folder listing and each open, as a NAS over Wi-Fi or a
waking disk does. The wait is read from a file beside the mount point's
source at every call, so a test can make the share stop answering (a very
long wait) and come back.

    slow_share.py SOURCE MOUNTPOINT DELAY_FILE
"""
import errno
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowShare(Operations):
    def __init__(self, source, delay_file):
        self.source = source
        self.delay_file = delay_file

    def _delay(self):
        try:
            with open(self.delay_file) as f:
                return float(f.read().strip() or 0)
        except (OSError, ValueError):
            return 0

    # The wait follows the file as it changes, so that a share that has
    # stopped answering answers the calls it holds once it comes back.
    def _wait(self):
        start = time.monotonic()
        while True:
            left = self._delay() - (time.monotonic() - start)
            if left <= 0:
                return
            time.sleep(min(left, 0.05))

    def _path(self, path):
        return os.path.join(self.source, path.lstrip("/"))

    def getattr(self, path, fh=None):
        try:
            st = os.lstat(self._path(path))
        except OSError as e:
            raise FuseOSError(e.errno)
        return {key: getattr(st, key) for key in (
            "st_mode", "st_size", "st_nlink", "st_uid", "st_gid", "st_atime", "st_mtime", "st_ctime")}

    def opendir(self, path):
        self._wait()
        if not os.path.isdir(self._path(path)):
            raise FuseOSError(errno.ENOTDIR)
        return 0

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._path(path))

    def open(self, path, flags):
        self._wait()
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return os.open(self._path(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)
        return 0


if __name__ == "__main__":
    source, mountpoint, delay_file = sys.argv[1:4]
    FUSE(SlowShare(os.path.abspath(source), os.path.abspath(delay_file)), mountpoint,
         foreground=True, nothreads=False, ro=True)
