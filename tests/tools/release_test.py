"""What a vendor's release build hands out: the signed installers and the
winget manifest set of the demo product.

    python3 release_test.py SOURCE_DIR BIN_DIR TEST_CERT
"""

import hashlib
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest

import yaml

SOURCE, BIN, TEST_CERT = (pathlib.Path(p) for p in sys.argv[1:4])
SIGNER = "CN=Installer test code signing (this build only)"


def verify(program):
    """osslsigncode's check: (passed, its report)."""
    run = subprocess.run(["osslsigncode", "verify", "-CAfile", str(TEST_CERT), "-in", str(program)],
                         capture_output=True, text=True)
    return run.returncode == 0 and "Signature verification: ok" in run.stdout, run.stdout + run.stderr


class SignedInstallers(unittest.TestCase):
    def test_signed_with_sha256_by_the_test_signer_and_one_changed_byte_fails(self):
        for name in ("setup_signed.exe", "setup_offline_signed.exe"):
            passed, report = verify(BIN / name)
            self.assertTrue(passed, report)
            self.assertIn("Message digest algorithm  : SHA256", report)
            self.assertIn("Subject: /" + SIGNER, report)
        changed = bytearray((BIN / "setup_signed.exe").read_bytes())
        changed[len(changed) // 2] ^= 1
        with tempfile.TemporaryDirectory() as folder:
            path = pathlib.Path(folder) / "changed.exe"
            path.write_bytes(changed)
            passed, report = verify(path)
            self.assertFalse(passed, report)
        # Without a vendor certificate the build signs nothing.
        self.assertFalse(verify(BIN / "setup.exe")[0])


# winget's manifest schema (1.10.0): the fields each file must have, the
# patterns of the ones this tool fills, and the responses it knows.
REQUIRED = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                      "License", "ShortDescription", "ManifestType", "ManifestVersion"],
}
IDENTIFIER = re.compile(r'^[^.\s\\/:*?"<>|\x01-\x1f]{1,32}(\.[^.\s\\/:*?"<>|\x01-\x1f]{1,32}){1,7}$')
RESPONSES = {"packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse", "missingDependency",
             "diskFull", "insufficientMemory", "invalidParameter", "noNetwork", "contactSupport",
             "rebootRequiredToFinish", "rebootRequiredForInstall", "rebootInitiated", "cancelledByUser",
             "alreadyInstalled", "downgrade", "blockedByPolicy", "systemNotSupported", "custom"}


def installer_exit_codes():
    """The codes of the README's table of the installer's exit codes."""
    readme = (SOURCE / "README.md").read_text(encoding="utf-8")
    table = readme.split("The installer (`/autoinst`, `/autostart`):", 1)[1].split("\n\n", 2)[1]
    return {int(m) for m in re.findall(r"^\| (\d+) \|", table, re.MULTILINE)}


class WingetManifest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        out = pathlib.Path(cls.folder.name)
        subprocess.run([sys.executable, str(SOURCE / "tools/winget-manifest"),
                        "--product-dir", str(SOURCE / "resources/demo"), "--installer", str(BIN / "setup.exe"),
                        "--installer-url", "https://downloads.example.com/velmora/setup.exe",
                        "--publisher", "velmora software", "--license", "Proprietary",
                        "--version", "2.0.1.0", "--output", str(out)], check=True, capture_output=True)
        cls.files = {}
        for path in out.iterdir():
            manifest = yaml.safe_load(path.read_text(encoding="utf-8"))
            cls.files[manifest["ManifestType"]] = (path.name, manifest)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_three_files_with_their_required_fields_for_one_package(self):
        self.assertEqual(set(self.files), set(REQUIRED))
        identifier = self.files["version"][1]["PackageIdentifier"]
        self.assertRegex(identifier, IDENTIFIER)
        for kind, (name, manifest) in self.files.items():
            for field in REQUIRED[kind]:
                self.assertIn(field, manifest, name)
            self.assertEqual(manifest["PackageIdentifier"], identifier, name)
            self.assertEqual(manifest["PackageVersion"], "2.0.1.0", name)
            self.assertEqual(manifest["ManifestVersion"], "1.10.0", name)
            self.assertTrue(name.startswith(identifier + "."), name)
        locale = self.files["defaultLocale"][1]
        self.assertEqual(locale["PackageLocale"], self.files["version"][1]["DefaultLocale"])
        self.assertEqual((locale["Publisher"], locale["PackageName"], locale["ShortDescription"]),
                         ("velmora software", "Velmora Notes", "Your notes, quick and tidy, on every desktop."))
        for field, low, high in (("Publisher", 2, 256), ("PackageName", 2, 256), ("License", 3, 512),
                                 ("ShortDescription", 3, 256)):
            self.assertTrue(low <= len(locale[field]) <= high, field)

    def test_installer_describes_the_built_setup_and_its_switches(self):
        manifest = self.files["installer"][1]
        (installer,) = manifest["Installers"]
        setup = (BIN / "setup.exe").read_bytes()
        self.assertEqual(installer["InstallerSha256"], hashlib.sha256(setup).hexdigest().upper())
        # The PE header's machine field: the build's own architecture.
        header = int.from_bytes(setup[0x3C:0x40], "little")
        machine = int.from_bytes(setup[header + 4:header + 6], "little")
        self.assertEqual(installer["Architecture"], {0x14C: "x86", 0x8664: "x64"}[machine])
        self.assertRegex(installer["InstallerUrl"], r"^[Hh][Tt][Tt][Pp][Ss]?://.+$")
        self.assertEqual((manifest["InstallerType"], manifest["Scope"]), ("exe", "machine"))
        self.assertEqual(manifest["InstallerSwitches"],
                         {"Silent": "/autoinst", "SilentWithProgress": "/autostart", "Log": "/log=<LOGPATH>"})
        self.assertIn(manifest["UpgradeBehavior"], {"install", "uninstallPrevious", "deny"})
        self.assertIn(manifest["ElevationRequirement"], {"elevationRequired", "elevationProhibited", "elevatesSelf"})
        # The uninstall entry: its key name and the values the installer writes.
        self.assertEqual(manifest["ProductCode"], "velnotes_win")
        self.assertEqual(manifest["AppsAndFeaturesEntries"],
                         [{"DisplayName": "Velmora Notes", "Publisher": "velmora software",
                           "DisplayVersion": "2.0.1.0", "ProductCode": "velnotes_win"}])

    def test_every_exit_code_is_known_to_winget_and_zero_stays_its_own(self):
        manifest = self.files["installer"][1]
        success = manifest.get("InstallerSuccessCodes", [])
        expected = {entry["InstallerReturnCode"]: entry["ReturnResponse"] for entry in manifest["ExpectedReturnCodes"]}
        self.assertEqual(len(expected), len(manifest["ExpectedReturnCodes"]), "each code once")
        self.assertNotIn(0, success + list(expected), "the schema takes no 0: it is winget's own success code")
        self.assertEqual(set(success) & set(expected), set())
        self.assertEqual(set(success) | set(expected) | {0}, installer_exit_codes())
        self.assertTrue(set(expected.values()) <= RESPONSES, expected)
        self.assertEqual((expected[3], expected[6]), ("diskFull", "noNetwork"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
