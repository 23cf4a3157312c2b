#!/usr/bin/python3
"""A slow network share for the tests: a read-only view of a folder that waits
before answering each folder listing and each open, as a NAS over Wi-Fi or a
waking disk does. The wait is read from a file beside the mount point's
source at every call, so a test can make the share stop answering (a very
long wait) and come back.

With --wait-on=read the wait falls instead on reading a folder's entries and
on the first read of each opened file. Wine's server opens every file and
folder itself, and while it waits for one open no thread of any Wine program
gets an answer from it, which Windows does not do; reading happens in the
program's own thread, so this share is as slow under Wine without stopping
Wine as a whole.

    slow_share.py SOURCE MOUNTPOINT DELAY_FILE [--wait-on=open|read]
"""
import errno
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowShare(Operations):
    def __init__(self, source, delay_file, wait_on_read=False):
        self.source = source
        self.delay_file = delay_file
        self.wait_on_read = wait_on_read
        self.unread = set()  # open files not read yet

    def _delay(self):
        try:
            with open(self.delay_file) as f:
                return float(f.read().strip() or 0)
        except (OSError, ValueError):
            return 0

    # Where DELAY_FILE.only exists, only the calls on paths that hold one of
    # its lines wait, and each such call says so on the standard output.
    def _waits_for(self, path):
        try:
            with open(self.delay_file + ".only") as f:
                parts = [line.strip() for line in f if line.strip()]
        except OSError:
            return True
        if not any(part in path for part in parts):
            return False
        print("held", path, flush=True)
        return True

    # The wait follows the file as it changes, so that a share that has
    # stopped answering answers the calls it holds once it comes back.
    def _wait(self, path=""):
        if not self._waits_for(path):
            return
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
        if not self.wait_on_read:
            self._wait(path)
        if not os.path.isdir(self._path(path)):
            raise FuseOSError(errno.ENOTDIR)
        return 0

    def readdir(self, path, fh):
        if self.wait_on_read:
            self._wait(path)
        return [".", ".."] + os.listdir(self._path(path))

    def open(self, path, flags):
        if not self.wait_on_read:
            self._wait(path)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        fh = os.open(self._path(path), os.O_RDONLY)
        self.unread.add(fh)
        return fh

    def read(self, path, size, offset, fh):
        if fh in self.unread:
            self.unread.discard(fh)
            if self.wait_on_read:
                self._wait(path)
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        self.unread.discard(fh)
        os.close(fh)
        return 0


if __name__ == "__main__":
    source, mountpoint, delay_file = sys.argv[1:4]
    wait_on = sys.argv[4] if len(sys.argv) > 4 else "--wait-on=open"
    if wait_on not in ("--wait-on=open", "--wait-on=read"):
        sys.exit("slow_share.py: --wait-on=open or --wait-on=read")
    FUSE(SlowShare(os.path.abspath(source), os.path.abspath(delay_file), wait_on == "--wait-on=read"),
         mountpoint, foreground=True, nothreads=False, ro=True)
