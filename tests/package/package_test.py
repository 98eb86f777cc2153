#!/usr/bin/python3
"""The .deb installs what a desktop program needs, runs, names its libraries,
and passes the checks of the desktop and of Debian.

Builds the package with CPack into a temporary folder (the build tree must be
built, as `make test` does first), unpacks it with dpkg-deb and checks it with
desktop-file-validate, appstreamcli and lintian.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

ARGS = None

INSTALLED_FILES = [
    "usr/bin/verdigo",
    "usr/bin/verdigo-extract",
    "usr/share/applications/verdigo.desktop",
    "usr/share/icons/hicolor/scalable/apps/verdigo.svg",
    "usr/share/icons/hicolor/48x48/apps/verdigo.png",
    "usr/share/icons/hicolor/256x256/apps/verdigo.png",
    "usr/share/man/man1/verdigo.1.gz",
    "usr/share/man/man1/verdigo-extract.1.gz",
    "usr/share/doc/verdigo/copyright",
    "usr/share/doc/verdigo/changelog.gz",
]
DESKTOP_ENTRY = "usr/share/applications/verdigo.desktop"
METAINFO = "usr/share/metainfo/example.quillmere.verdigo.metainfo.xml"
RUNTIME_PACKAGES = ["libqt6core6", "libqt6widgets6", "libcurl4"]


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, timeout=200,
                          **options)


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(prefix="verdigo-package-")
        run(ARGS.cpack, "-G", "DEB", "--config", ARGS.config, "-B", cls.folder.name)
        debs = [name for name in os.listdir(cls.folder.name) if name.endswith(".deb")]
        if len(debs) != 1:
            raise AssertionError(f"expected one .deb, found {debs}")
        cls.deb = os.path.join(cls.folder.name, debs[0])
        cls.root = os.path.join(cls.folder.name, "root")
        run("dpkg-deb", "-x", cls.deb, cls.root)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).stdout.strip()

    def test_unpacked_command_line_runs(self):
        program = os.path.join(self.root, "usr/bin/verdigo-extract")
        self.assertEqual(run(program, "--version").stdout, f"verdigo-extract {ARGS.version}\n")

    def test_depends_names_the_qt_and_curl_runtime_packages(self):
        depends = {re.sub(r"\s*\(.*\)", "", item).strip()
                   for alternatives in self.field("Depends").split(",")
                   for item in alternatives.split("|")}
        for package in RUNTIME_PACKAGES:
            self.assertIn(package, depends)

    def test_recommends_the_link_opener(self):
        self.assertEqual(self.field("Recommends"), "xdg-utils")

    def test_installs_like_a_desktop_program(self):
        self.assertEqual(self.field("Package"), "verdigo")
        self.assertEqual(self.field("Version"), ARGS.version)
        for path in INSTALLED_FILES:
            self.assertTrue(os.path.isfile(os.path.join(self.root, path)), path)

    # The checks of the desktop and of Debian.
    def test_desktop_entry_is_clean(self):
        check = subprocess.run(["desktop-file-validate", os.path.join(self.root, DESKTOP_ENTRY)],
                               capture_output=True, text=True, timeout=60)
        self.assertEqual((check.returncode, check.stdout + check.stderr), (0, ""))

    def test_metainfo_validates_offline_and_names_this_release(self):
        path = os.path.join(self.root, METAINFO)
        check = subprocess.run(["appstreamcli", "validate", "--no-net", "--no-color", path],
                               capture_output=True, text=True, timeout=60)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertNotRegex(check.stdout, r"(?m)^[EW]: ")
        component = ElementTree.parse(path).getroot()
        self.assertEqual([release.get("version") for release in component.iter("release")],
                         [ARGS.version])
        self.assertEqual(component.findtext("launchable"), os.path.basename(DESKTOP_ENTRY))
        self.assertRegex(component.findtext("screenshots/screenshot/image"), r"^https?://\S+\.png$")

    def test_lintian_reports_no_errors(self):
        # lintian leaves a file behind in its temporary folder: let it be ours.
        check = subprocess.run(["lintian", "--fail-on", "error", "--tag-display-limit", "0",
                                self.deb], capture_output=True, text=True, timeout=200,
                               env=dict(os.environ, TMPDIR=self.folder.name))
        errors = [line for line in check.stdout.splitlines() if line.startswith("E: ")]
        self.assertEqual(errors, [])
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--config", required=True, help="the build tree's CPackConfig.cmake")
    parser.add_argument("--version", required=True, help="the version the package must carry")
    ARGS, rest = parser.parse_known_args()
    result = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
