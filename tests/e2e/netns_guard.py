"""Refuses network access beyond loopback: the installer must only ever reach the test server."""

import fcntl
import socket
import struct

_SIOCGIFFLAGS = 0x8913
_IFF_UP = 0x1


def non_loopback_interfaces_up():
    """Names of the network interfaces, other than lo, that are up in this process's namespace.

    /proc/self/net follows the network namespace; /sys/class/net would show the one that
    mounted /sys, which unshare -n does not change."""
    with open("/proc/self/net/dev") as stream:
        names = [line.split(":", 1)[0].strip() for line in stream.readlines()[2:] if ":" in line]
    up = []
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        for name in names:
            if name == "lo":
                continue
            request = struct.pack("16sH14x", name.encode()[:15], 0)
            flags = struct.unpack("16sH14x", fcntl.ioctl(probe.fileno(), _SIOCGIFFLAGS, request))[1]
            if flags & _IFF_UP:
                up.append(name)
    return up


def loopback_only_problem():
    """None when only loopback is up, else a message saying how to run the tests."""
    up = non_loopback_interfaces_up()
    if not up:
        return None
    return (f"network interfaces other than loopback are up ({', '.join(up)}); run the end-to-end tests in a "
            "loopback-only namespace: unshare -n sh -c 'ip link set lo up; ...' (scripts/test.sh does)")
