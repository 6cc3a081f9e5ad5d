"""scripts/deps.sh with stand-in dpkg, id, sudo and apt-get that record how they are called."""
import os
import shutil
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEPS = os.path.join(ROOT, "scripts", "deps.sh")


def listed(group):
    done = subprocess.run([DEPS, "--list", group], stdout=subprocess.PIPE, text=True, check=True)
    return done.stdout.split()


class ListTest(unittest.TestCase):
    def test_test_group_holds_the_run_group_once_each(self):
        run, test = listed("run"), listed("test")
        self.assertTrue(run)
        self.assertEqual(test[:len(run)], run)
        self.assertEqual(len(test), len(set(test)))

    def test_unknown_groups_and_extra_words_are_refused(self):
        for args in (["--list", "bogus"], ["bogus"], ["run", "test"]):
            done = subprocess.run([DEPS] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            self.assertEqual(done.returncode, 2, args)


class InstallTest(unittest.TestCase):
    """The script runs with only the stand-ins and a few real tools on PATH."""

    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory(prefix="quillet_deps_test_")
        self.bin = os.path.join(self.scratch.name, "bin")
        self.log = os.path.join(self.scratch.name, "log")
        os.mkdir(self.bin)
        for tool in ("bash", "env", "awk"):
            os.symlink(shutil.which(tool), os.path.join(self.bin, tool))
        self.stand_in("apt-get", 'echo "apt-get $*" >> "%s"' % self.log)
        self.installed = set(listed("test"))

    def tearDown(self):
        self.scratch.cleanup()

    def stand_in(self, name, body):
        path = os.path.join(self.bin, name)
        with open(path, "w") as script:
            script.write("#!%s\n%s\n" % (shutil.which("bash"), body))
        os.chmod(path, 0o755)

    def run_deps(self, uid, missing, with_sudo=True):
        self.stand_in("id", "echo %d" % uid)
        self.stand_in("dpkg", 'case " %s " in *" $2 "*) exit 1;; esac; exit 0' % " ".join(missing))
        if with_sudo:
            self.stand_in("sudo", 'echo "sudo $*" >> "%s"; "$@"' % self.log)
        done = subprocess.run([os.path.join(self.bin, "bash"), DEPS, "test"], env={"PATH": self.bin},
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        calls = open(self.log).read().splitlines() if os.path.exists(self.log) else []
        return done, calls

    def test_root_installs_only_the_missing_packages_without_sudo(self):
        done, calls = self.run_deps(0, ["cmake", "xclip"])
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertEqual(calls[-1].split()[:2], ["apt-get", "install"])
        self.assertEqual(calls[-1].split()[-2:], ["cmake", "xclip"])
        self.assertFalse(any(call.startswith("sudo") for call in calls))

    def test_a_user_is_told_before_sudo_is_asked(self):
        done, calls = self.run_deps(1000, ["xclip"])
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertIn("asking sudo", done.stdout)
        self.assertTrue(calls and all(call.startswith("sudo env DEBIAN_FRONTEND=noninteractive apt-get")
                                      for call in calls if call.startswith("sudo")))
        self.assertIn("apt-get install -y -q --no-install-recommends xclip", calls[-1])

    def test_nothing_missing_asks_nobody(self):
        done, calls = self.run_deps(1000, [])
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertEqual(calls, [])
        self.assertEqual(done.stdout, "")

    def test_a_user_without_sudo_gets_a_failure_not_an_attempt(self):
        done, calls = self.run_deps(1000, ["xclip"], with_sudo=False)
        self.assertEqual(done.returncode, 1)
        self.assertIn("sudo is not available", done.stdout)
        self.assertEqual(calls, [])


if __name__ == "__main__":
    unittest.main()
