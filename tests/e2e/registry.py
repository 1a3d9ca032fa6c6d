"""Registry files for regedit /S, and parsing of "reg query" output."""

import hashlib
from typing import Dict, List, Optional, Union

RegValue = Union[str, int, None]  # str: REG_SZ, int: REG_DWORD, None: the key alone

INTERNET_SETTINGS = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
RUN_ONCE = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\RunOnce"
NET4_CLIENT = r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\NET Framework Setup\NDP\v4\Client"
CLICKONCE_PROGID = "Fetchwright.FakeClickOnce"
ROOT_CERTIFICATES = r"HKEY_CURRENT_USER\Software\Microsoft\SystemCertificates\Root\Certificates"


def root_certificate_key(der: bytes) -> str:
    """Where Wine keeps a certificate added to the user's ROOT store: named by its SHA-1 thumbprint."""
    return ROOT_CERTIFICATES + "\\" + hashlib.sha1(der).hexdigest().upper()


def _quote(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def reg_file(keys: Dict[str, Dict[str, RegValue]]) -> str:
    """REGEDIT4 text: {key path: {value name ("@" = default): value}}; an empty dict creates the key."""
    lines = ["REGEDIT4", ""]
    for key, values in keys.items():
        lines.append(f"[{key}]")
        for name, value in values.items():
            rendered_name = "@" if name == "@" else _quote(name)
            rendered_value = f"dword:{value:08x}" if isinstance(value, int) else _quote(value)
            lines.append(f"{rendered_name}={rendered_value}")
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def template_settings(fake_clickonce_windows_path: str) -> str:
    """What every scenario's prefix starts with."""
    return reg_file({
        # Wine draws its own title bars: xdotool keystrokes arrive and windows hide at once.
        r"HKEY_CURRENT_USER\Software\Wine\X11 Driver": {"Managed": "N"},
        RUN_ONCE: {},
        # The shell ignores associations under HKCU in Wine.
        r"HKEY_LOCAL_MACHINE\Software\Classes\.application": {"@": CLICKONCE_PROGID},
        rf"HKEY_LOCAL_MACHINE\Software\Classes\{CLICKONCE_PROGID}\shell\open\command": {
            "@": f'"{fake_clickonce_windows_path}" "%1"'},
        NET4_CLIENT: {"Install": 1},
    })


def proxy_settings(port: int) -> str:
    return reg_file({INTERNET_SETTINGS: {"ProxyEnable": 1, "ProxyServer": f"127.0.0.1:{port}"}})


def parse_reg_query(output: str) -> Dict[str, Dict[str, RegValue]]:
    """{key path: {value name: value}} from "reg query" output; REG_DWORD as int, others as text."""
    keys: Dict[str, Dict[str, RegValue]] = {}
    current: Optional[Dict[str, RegValue]] = None
    for line in output.splitlines():
        if line.startswith("HKEY_"):
            current = keys.setdefault(line.strip(), {})
        elif line.startswith("    ") and current is not None:
            parts = line.strip().split("    ")
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                name, kind, data = parts[0], parts[1], "    ".join(parts[2:])
                if name == "(Default)":
                    name = "@"
                current[name] = int(data, 16) if kind == "REG_DWORD" else data
    return keys


def subkeys_in(output: str, key: str) -> List[str]:
    """The direct subkeys of key listed in "reg query" output."""
    prefix = key.rstrip("\\").lower() + "\\"
    return [line.strip()[len(prefix):] for line in output.splitlines()
            if line.strip().lower().startswith(prefix) and "\\" not in line.strip()[len(prefix):]]
