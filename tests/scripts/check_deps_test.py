"""The parts of scripts/check_deps.py that read the tools' output and judge it."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "scripts"))
import check_deps  # noqa: E402

APT_DEPENDS = """\
g++
  Depends: cpp
  Depends: g++-12
g++-12
 |Depends: gcc-12
  Depends: gcc-alt
  PreDepends: <libc-dev>
    libc6-dev
    musl-dev
  Depends: <python3:any>
    python3
  Recommends: not-followed
cpp
  Depends: libc6:amd64
gcc-12
  Depends: binutils
gcc-alt
  Depends: only-through-second-choice
libc6-dev
libc6
musl-dev
python3
binutils
only-through-second-choice
<libc-dev>
"""


class ParsingTest(unittest.TestCase):
    def test_ninja_deps_gives_absolute_normalised_paths(self):
        text = ("platform/CMakeFiles/x.dir/a.cpp.o: #deps 3, deps mtime 1 (VALID)\n"
                "    ../../platform/a.cpp\n"
                "    /usr/lib/gcc/x86_64-linux-gnu/12/../../../../include/c++/12/cmath\n"
                "\n"
                "db/CMakeFiles/y.dir/b.cpp.o: #deps 1, deps mtime 1 (STALE)\n"
                "    /usr/include/stdio.h\n")
        self.assertEqual(check_deps.parse_ninja_deps(text, "/src/build/debug"),
                         {"/src/platform/a.cpp", "/usr/include/c++/12/cmath", "/usr/include/stdio.h"})

    def test_linker_trace_names_archives_not_members_and_skips_messages(self):
        text = ("/usr/bin/ld: mode elf_x86_64\n"
                "/usr/lib/gcc/x86_64-linux-gnu/12/../../../x86_64-linux-gnu/Scrt1.o\n"
                "db/libquillet_db.a\n"
                "(/usr/lib/x86_64-linux-gnu/libgtest.a)gtest-all.cc.o\n"
                "/usr/lib/x86_64-linux-gnu/libc_nonshared.a(elf-init.oS)\n"
                "/lib/x86_64-linux-gnu/libc.so.6\n")
        self.assertEqual(check_deps.parse_ld_trace(text, "/b"),
                         {"/usr/lib/x86_64-linux-gnu/Scrt1.o", "/b/db/libquillet_db.a",
                          "/usr/lib/x86_64-linux-gnu/libgtest.a", "/usr/lib/x86_64-linux-gnu/libc_nonshared.a",
                          "/lib/x86_64-linux-gnu/libc.so.6"})

    def test_dpkg_search_strips_architectures_and_skips_diversions(self):
        text = ("libpcre2-dev:amd64: /usr/include/pcre2.h\n"
                "diversion by dash from: /bin/sh\n"
                "diversion by dash to: /bin/sh.distrib\n"
                "dash: /bin/sh\n"
                "libc6-dev:amd64, linux-libc-dev:amd64: /usr/include/shared\n")
        self.assertEqual(check_deps.parse_dpkg_search(text),
                         {"/usr/include/pcre2.h": {"libpcre2-dev"}, "/bin/sh": {"dash"},
                          "/usr/include/shared": {"libc6-dev", "linux-libc-dev"}})

    def test_closure_takes_first_alternatives_every_provider_and_pre_depends(self):
        graph = check_deps.parse_apt_depends(APT_DEPENDS)
        self.assertEqual(check_deps.closure(graph, ["g++"]),
                         {"g++", "cpp", "g++-12", "gcc-12", "binutils", "libc6", "libc6-dev", "musl-dev",
                          "python3"})

    def test_closure_of_nothing_known_is_the_roots(self):
        self.assertEqual(check_deps.closure({}, ["a", "b"]), {"a", "b"})


class AliasTest(unittest.TestCase):
    def test_merged_usr_aliases_go_both_ways_and_only_for_merged_folders(self):
        self.assertEqual(check_deps.merged_usr_alias("/lib/x86_64-linux-gnu/libc.so.6"),
                         "/usr/lib/x86_64-linux-gnu/libc.so.6")
        self.assertEqual(check_deps.merged_usr_alias("/usr/lib64/ld-linux-x86-64.so.2"), "/lib64/ld-linux-x86-64.so.2")
        self.assertIsNone(check_deps.merged_usr_alias("/usr/include/stdio.h"))
        self.assertIsNone(check_deps.merged_usr_alias("/library/x"))


class PythonImportsTest(unittest.TestCase):
    def test_top_level_modules_of_every_import_form(self):
        source = ("import os, sys\nimport xml.dom.minidom\nfrom pyftpdlib.servers import FTPServer\n"
                  "from . import sibling\ndef f():\n    import OpenSSL\n")
        self.assertEqual(check_deps.python_imports(source), {"os", "sys", "xml", "pyftpdlib", "OpenSSL"})


class VerdictTest(unittest.TestCase):
    FOLDERS = ["/src", "/src/build/debug"]

    def test_files_of_packages_outside_the_closure_fail_by_package(self):
        used = {"/usr/include/pcre2.h": "the compiler in build/debug",
                "/usr/lib/x86_64-linux-gnu/libpcre2-8.so": "the linker in build/debug",
                "/usr/include/stdio.h": "the compiler in build/debug",
                "/src/net/regex.cpp": "the compiler in build/debug"}
        owners = {"/usr/include/pcre2.h": {"libpcre2-dev"},
                  "/usr/lib/x86_64-linux-gnu/libpcre2-8.so": {"libpcre2-dev"},
                  "/usr/include/stdio.h": {"libc6-dev"}}
        problems = check_deps.verdict(used, owners, {"libc6-dev"}, self.FOLDERS)
        self.assertEqual(len(problems), 1)
        self.assertIn("libpcre2-dev is not installed by scripts/deps.sh", problems[0])
        self.assertIn("/usr/include/pcre2.h", problems[0])
        self.assertEqual(check_deps.verdict(used, owners, {"libc6-dev", "libpcre2-dev"}, self.FOLDERS), [])

    def test_a_file_shared_by_packages_passes_when_any_of_them_is_installed(self):
        used = {"/usr/include/shared": "the compiler"}
        owners = {"/usr/include/shared": {"libc6-dev", "other-dev"}}
        self.assertEqual(check_deps.verdict(used, owners, {"other-dev"}, self.FOLDERS), [])

    def test_files_outside_the_tree_that_no_package_owns_fail(self):
        problems = check_deps.verdict({"/usr/local/include/hand_made.h": "the compiler"}, {}, set(), self.FOLDERS)
        self.assertEqual(len(problems), 1)
        self.assertIn("/usr/local/include/hand_made.h", problems[0])
        self.assertIn("no Debian package", problems[0])


if __name__ == "__main__":
    unittest.main()
