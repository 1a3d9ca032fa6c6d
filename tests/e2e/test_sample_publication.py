"""The bundled ClickOnce publication is consistent: what the manifests name exists with the
stated sizes, and the elements the installer looks up by exact name are unprefixed."""

import os
import xml.etree.ElementTree as ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
PUBLICATION = os.path.join(HERE, "docroot", "download.kelvara.example", "software", "lantern-rise", "clickonce")
DEPLOYMENT_URL = "http://download.kelvara.example/software/lantern-rise/clickonce/KelvaraLanternRise.application"
ASM_V2 = "{urn:schemas-microsoft-com:asm.v2}"


def local_path(folder: str, relative: str) -> str:
    return os.path.join(folder, *relative.split("\\"))


def test_deployment_manifest_points_at_the_application_manifest_with_its_size():
    path = os.path.join(PUBLICATION, "KelvaraLanternRise.application")
    text = open(path, encoding="utf-8").read()
    # The installer compares node names including any prefix.
    assert f'<deploymentProvider codebase="{DEPLOYMENT_URL}" />' in text
    assert text.count("<dependentAssembly ") == 1 and ":dependentAssembly" not in text

    root = ElementTree.parse(path).getroot()
    assert root.tag == "{urn:schemas-microsoft-com:asm.v1}assembly"
    [assembly] = root.iter(ASM_V2 + "dependentAssembly")
    assert assembly.get("dependencyType") == "install"
    codebase = assembly.get("codebase")
    assert codebase == "Application Files\\LanternRise_1_0_0_0\\LanternRise.exe.manifest"
    assert os.path.getsize(local_path(PUBLICATION, codebase)) == int(assembly.get("size"))


def test_application_manifest_lists_exactly_the_deploy_files_with_their_sizes():
    folder = os.path.join(PUBLICATION, "Application Files", "LanternRise_1_0_0_0")
    root = ElementTree.parse(os.path.join(folder, "LanternRise.exe.manifest")).getroot()
    assemblies = list(root.iter(ASM_V2 + "dependentAssembly"))
    assert any(a.get("dependencyType") == "preRequisite" and a.get("codebase") is None for a in assemblies)

    listed = {a.get("codebase"): int(a.get("size")) for a in assemblies if a.get("dependencyType") == "install"}
    listed.update({f.get("name"): int(f.get("size")) for f in root.iter(ASM_V2 + "file")})
    assert any("\\" in name for name in listed), "no file in a culture folder"
    actual = {}
    for directory, _, names in os.walk(folder):
        for name in names:
            if name.endswith(".deploy"):
                relative = os.path.relpath(os.path.join(directory, name), folder).replace(os.sep, "\\")
                actual[relative[:-len(".deploy")]] = os.path.getsize(os.path.join(directory, name))
    assert actual == listed
