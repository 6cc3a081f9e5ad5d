"""scripts/install.sh in a temporary HOME, with a stand-in program that records its start."""
import os
import stat
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
INSTALL = os.path.join(ROOT, "scripts", "install.sh")
DATA_FILES = ["data.ini", "data.edb", "ftp.ini", "data2026-12-8.edb", "data2026-12-8-2.edb"]


def desktop_entry(path):
    entry = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            key, sep, value = line.rstrip("\n").partition("=")
            if sep:
                entry[key] = value
    return entry


def unescape_string(value):
    out, chars = [], iter(value)
    for char in chars:
        if char == "\\":
            following = next(chars)
            out.append({"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}[following])
        else:
            out.append(char)
    return "".join(out)


def exec_arguments(value):
    """The argument vector a desktop starts for an Exec value without field codes: in
    double quotes a backslash takes the next of " ` $ \\ literally."""
    args, current, quoted, chars = [], None, False, iter(unescape_string(value).replace("%%", "%"))
    for char in chars:
        if quoted and char == "\\":
            following = next(chars)
            if following not in '"`$\\':
                raise ValueError("bad escape \\" + following)
            current += following
        elif quoted and char in "`$":
            raise ValueError("unescaped " + char)
        elif char == '"':
            quoted = not quoted
            current = current or ""
        elif char == " " and not quoted:
            if current is not None:
                args.append(current)
            current = None
        else:
            current = (current or "") + char
    if quoted:
        raise ValueError("unterminated quote")
    return args + ([current] if current is not None else [])


class InstallScriptTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory(prefix="quillet_install_test_")
        # Every character the menu entry must escape, and a space.
        self.home = os.path.join(self.scratch.name, 'home of "a" $user `x` 100% back\\slash')
        os.mkdir(self.home)
        self.started = os.path.join(self.scratch.name, "started")
        self.binary = os.path.join(self.scratch.name, "quillet")
        with open(self.binary, "w") as program:
            program.write('#!/bin/sh\necho "$0" > "%s"\n' % self.started)
        os.chmod(self.binary, 0o755)
        self.program_dir = os.path.join(self.home, ".local", "opt", "quillet")
        self.applications = os.path.join(self.home, ".local", "share", "applications")

    def tearDown(self):
        self.scratch.cleanup()

    def run_install(self, *args, env_extra=None):
        env = {"PATH": os.environ["PATH"], "HOME": self.home}
        env.update(env_extra or {})
        return subprocess.run([INSTALL] + list(args), env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)

    def install(self):
        done = self.run_install("--binary", self.binary)
        self.assertEqual(done.returncode, 0, done.stdout)
        return done

    def put_data_files(self):
        for name in DATA_FILES:
            with open(os.path.join(self.program_dir, name), "w") as data:
                data.write(name)

    def test_installs_a_private_program_that_the_menu_entry_starts(self):
        self.install()
        self.assertEqual(stat.S_IMODE(os.stat(self.program_dir).st_mode), 0o700)
        program = os.path.join(self.program_dir, "quillet")
        self.assertTrue(os.access(program, os.X_OK))
        entry = desktop_entry(os.path.join(self.applications, "quillet.desktop"))
        self.assertEqual(entry["Type"], "Application")
        self.assertEqual(entry["Name"], "Quillet")
        self.assertEqual(unescape_string(entry["TryExec"]), program)
        self.assertTrue(os.path.isfile(unescape_string(entry["Icon"])))
        self.assertEqual(exec_arguments(entry["Exec"]), [program])
        subprocess.run(exec_arguments(entry["Exec"]), check=True)
        with open(self.started) as started:
            self.assertEqual(started.read().strip(), program)

    def test_reinstalling_tightens_the_directory_and_keeps_the_data(self):
        self.install()
        self.put_data_files()
        os.chmod(self.program_dir, 0o755)
        self.install()
        self.assertEqual(stat.S_IMODE(os.stat(self.program_dir).st_mode), 0o700)
        for name in DATA_FILES:
            with open(os.path.join(self.program_dir, name)) as data:
                self.assertEqual(data.read(), name)

    def test_uninstall_removes_program_entry_and_icon_but_never_the_data(self):
        self.install()
        icon = unescape_string(desktop_entry(os.path.join(self.applications, "quillet.desktop"))["Icon"])
        self.put_data_files()
        done = self.run_install("--uninstall")
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.program_dir, "quillet")))
        self.assertFalse(os.path.exists(os.path.join(self.applications, "quillet.desktop")))
        self.assertFalse(os.path.exists(icon))
        self.assertEqual(sorted(os.listdir(self.program_dir)), sorted(DATA_FILES))
        self.assertIn("data.edb", done.stdout)

    def test_the_command_line_tool_built_beside_the_program_goes_and_leaves_with_it(self):
        cli = os.path.join(self.scratch.name, "quillet-cli")
        with open(cli, "w") as tool:
            tool.write("#!/bin/sh\n")
        self.install()
        installed = os.path.join(self.program_dir, "quillet-cli")
        self.assertTrue(os.access(installed, os.X_OK))
        self.assertEqual(stat.S_IMODE(os.stat(installed).st_mode), 0o700)
        self.put_data_files()
        done = self.run_install("--uninstall")
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertEqual(sorted(os.listdir(self.program_dir)), sorted(DATA_FILES))

    def test_uninstall_without_data_leaves_nothing_and_repeats_cleanly(self):
        self.install()
        for _ in range(2):
            done = self.run_install("--uninstall")
            self.assertEqual(done.returncode, 0, done.stdout)
        self.assertFalse(os.path.exists(self.program_dir))

    def test_menu_entry_follows_xdg_data_home_when_it_is_absolute(self):
        data_home = os.path.join(self.scratch.name, "data home")
        done = self.run_install("--binary", self.binary, env_extra={"XDG_DATA_HOME": data_home})
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertTrue(os.path.isfile(os.path.join(data_home, "applications", "quillet.desktop")))
        done = self.run_install("--binary", self.binary, env_extra={"XDG_DATA_HOME": "relative"})
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertTrue(os.path.isfile(os.path.join(self.applications, "quillet.desktop")))

    @unittest.skipUnless(os.getuid() == 0, "only root can be under sudo")
    def test_refuses_to_install_for_root_under_sudo(self):
        done = self.run_install("--binary", self.binary, env_extra={"SUDO_USER": "someone"})
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.home, ".local")))

    @unittest.skipUnless(os.getuid() == 0, "only root can be in another user's home")
    def test_refuses_root_in_another_users_home_and_creates_nothing(self):
        # As su -m or doas -s leave it: root, SUDO_USER unset, the user's HOME.
        os.chown(self.home, 65534, 65534)
        for args in (["--binary", self.binary], ["--uninstall"]):
            done = self.run_install(*args)
            self.assertEqual(done.returncode, 1, done.stdout)
            self.assertIn("HOME", done.stdout)
            self.assertEqual(os.listdir(self.home), [], args)

    def test_wrong_command_lines_change_nothing(self):
        for args in (["--binary"], ["--binary", os.path.join(self.scratch.name, "missing")], ["--bogus"],
                     ["--uninstall", "extra"]):
            self.assertEqual(self.run_install(*args).returncode, 2, args)
        self.assertFalse(os.path.exists(os.path.join(self.home, ".local")))


if __name__ == "__main__":
    unittest.main()
