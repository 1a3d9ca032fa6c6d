#!/usr/bin/env python3
"""Writes the sample ClickOnce publication of Lantern Rise into the demo document root.

The publication is checked in; run this only to change it, so that the sizes written into
the manifests stay equal to the real file sizes. The contents are small and deterministic.
"""

import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
PUBLICATION = os.path.join(HERE, "docroot", "download.kelvara.example", "software", "lantern-rise", "clickonce")
DEPLOYMENT_URL = "http://download.kelvara.example/software/lantern-rise/clickonce/KelvaraLanternRise.application"
VERSION_FOLDER = "Application Files\\LanternRise_1_0_0_0"

NAMESPACES = (
    'xmlns:asmv1="urn:schemas-microsoft-com:asm.v1" xmlns="urn:schemas-microsoft-com:asm.v2" '
    'xmlns:asmv2="urn:schemas-microsoft-com:asm.v2" xmlns:asmv3="urn:schemas-microsoft-com:asm.v3" '
    'xmlns:co.v1="urn:schemas-microsoft-com:clickonce.v1" xmlns:co.v2="urn:schemas-microsoft-com:clickonce.v2" '
    'xmlns:dsig="http://www.w3.org/2000/09/xmldsig#" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"'
)


def pseudo_binary(pattern: int, size: int) -> bytes:
    generator = random.Random(pattern)
    return b"MZ" + bytes(generator.randrange(256) for _ in range(size - 2))


# Relative path (backslashes) -> content. Assemblies are listed as dependentAssembly, the rest as file.
ASSEMBLIES = {
    "LanternRise.exe": pseudo_binary(1, 6144),
    "Lantern.Core.dll": pseudo_binary(2, 3584),
}
FILES = {
    "LanternRise.exe.config": (
        '<?xml version="1.0" encoding="utf-8"?>\n<configuration>\n'
        '  <startup><supportedRuntime version="v4.0" sku=".NETFramework,Version=v4.0,Profile=Client" /></startup>\n'
        '  <appSettings><add key="Theme" value="Dusk" /></appSettings>\n</configuration>\n'
    ).encode("utf-8"),
    "readme.txt": b"Lantern Rise 1.0\nA sample application for the Kelvara installer tests.\n",
    "de\\LanternRise.resources.dll": pseudo_binary(3, 1536),
}


WIN32_TYPE = ' type="win32"'
ASM_V1_DEFAULT = ' xmlns="urn:schemas-microsoft-com:asm.v1"'


def identity(name: str, extra: str = "", element: str = "assemblyIdentity") -> str:
    return (f'<{element} name="{name}" version="1.0.0.0" publicKeyToken="0000000000000000" '
            f'language="neutral" processorArchitecture="msil"{extra} />')


def application_manifest() -> bytes:
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        f'<asmv1:assembly manifestVersion="1.0" {NAMESPACES}>',
        "  " + identity("LanternRise.exe", WIN32_TYPE, element="asmv1:assemblyIdentity"),
        '  <application />',
        '  <entryPoint>',
        f'    {identity("LanternRise")}',
        '    <commandLine file="LanternRise.exe" parameters="" />',
        '  </entryPoint>',
        '  <dependency>',
        '    <dependentAssembly dependencyType="preRequisite" allowDelayedBinding="true">',
        '      <assemblyIdentity name="Microsoft.Windows.CommonLanguageRuntime" version="4.0.30319.0" />',
        '    </dependentAssembly>',
        '  </dependency>',
    ]
    for name, content in ASSEMBLIES.items():
        lines += [
            '  <dependency>',
            f'    <dependentAssembly dependencyType="install" allowDelayedBinding="true" codebase="{name}" '
            f'size="{len(content)}">',
            f'      {identity(os.path.splitext(name)[0])}',
            '    </dependentAssembly>',
            '  </dependency>',
        ]
    for name, content in FILES.items():
        lines.append(f'  <file name="{name}" size="{len(content)}" />')
    lines.append('</asmv1:assembly>')
    return ("\n".join(lines) + "\n").encode("utf-8")


def deployment_manifest(application_manifest_size: int) -> bytes:
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        f'<asmv1:assembly manifestVersion="1.0" {NAMESPACES}>',
        "  " + identity("KelvaraLanternRise.application", ASM_V1_DEFAULT),
        '  <description asmv2:publisher="Kelvara" asmv2:product="Lantern Rise" xmlns="urn:schemas-microsoft-com:asm.v1" />',
        '  <deployment install="true" mapFileExtensions="true">',
        '    <subscription><update><beforeApplicationStartup /></update></subscription>',
        f'    <deploymentProvider codebase="{DEPLOYMENT_URL}" />',
        '  </deployment>',
        '  <compatibleFrameworks xmlns="urn:schemas-microsoft-com:clickonce.v2">',
        '    <framework targetVersion="4.0" profile="Client" supportedRuntime="4.0.30319" />',
        '  </compatibleFrameworks>',
        '  <dependency>',
        f'    <dependentAssembly dependencyType="install" codebase="{VERSION_FOLDER}\\LanternRise.exe.manifest" '
        f'size="{application_manifest_size}">',
        "      " + identity("LanternRise.exe", WIN32_TYPE),
        '    </dependentAssembly>',
        '  </dependency>',
        '</asmv1:assembly>',
    ]
    return ("\n".join(lines) + "\n").encode("utf-8")


def write(relative_path: str, content: bytes) -> None:
    path = os.path.join(PUBLICATION, *relative_path.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as stream:
        stream.write(content)


def main() -> None:
    manifest = application_manifest()
    write(VERSION_FOLDER + "\\LanternRise.exe.manifest", manifest)
    for name, content in {**ASSEMBLIES, **FILES}.items():
        write(f"{VERSION_FOLDER}\\{name}.deploy", content)
    write("KelvaraLanternRise.application", deployment_manifest(len(manifest)))


if __name__ == "__main__":
    main()
