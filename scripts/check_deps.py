#!/usr/bin/python3
"""Fails when the build or the tests use a file from a Debian package that
scripts/deps.sh does not install, directly or as a dependency of what it installs.

usage: check_deps.py BUILD_DIR...

What it looks at:
  - the headers each build tree read (ninja's dependency log),
  - the libraries and start files each link read (every distinct link line of a
    tree is linked once more with the linker's --trace),
  - the compilers, ninja, cmake and pkg-config the trees were configured with,
  - the programs the test command and the tests start, and the Python modules
    the tests' and tools' scripts import.
Each file goes to its package through `dpkg -S`. The packages that count as
installed are scripts/deps.sh's package list (which holds the windows, test and run lists)
plus Debian's Essential packages, and
everything they depend on (Depends and Pre-Depends, first alternative, virtual
packages through their providers), as `apt-cache depends --recurse` lists it.
The closure is cached in the first build tree, keyed by the package list.
"""
import ast
import collections
import hashlib
import importlib.util
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Programs the test command and the tests start by name (the compilers come from
# the trees' CMake caches).
TEST_PROGRAMS = ["Xvfb", "xdotool", "xclip", "dbus-daemon", "/usr/bin/python3", "xdg-open", "/usr/lib/wine/wine64",
                 "/usr/lib/wine/wineserver", "dpkg-source",
                 # the WebDAV tests' server
                 "/usr/sbin/apache2", "htpasswd",
                 # scripts/package.sh and scripts/test-packages.sh
                 "dpkg-deb", "dpkg-shlibdeps", "dpkg-buildflags", "lintian", "desktop-file-validate", "appstreamcli",
                 "makensis", "zip", "strip", "gzip"]

# Folders whose Python scripts the tests, benchmarks and tools run.
PYTHON_FOLDERS = ["scripts", "tests", "bench", "tools"]

MERGED_USR = ["/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"]


# ---- parsing the tools' output ----

def parse_ninja_deps(text, build_dir):
    """Absolute, normalised paths of every file in `ninja -t deps` output."""
    paths = set()
    for line in text.splitlines():
        if line.startswith(" ") and line.strip():
            paths.add(os.path.normpath(os.path.join(build_dir, line.strip())))
    return paths


def parse_ld_trace(text, build_dir):
    """The files a `-Wl,--trace` link read: archive members count as their archive."""
    paths = set()
    for line in text.splitlines():
        line = line.strip()
        if not line or ": " in line:  # the linker's own messages ("ld: mode elf_x86_64")
            continue
        if line.startswith("(") and ")" in line:  # older linkers: "(archive)member"
            line = line[1:line.index(")")]
        elif line.endswith(")") and "(" in line:  # "archive(member)"
            line = line[:line.index("(")]
        paths.add(os.path.normpath(os.path.join(build_dir, line)))
    return paths


def strip_arch(name):
    return name.split(":", 1)[0]


def parse_dpkg_search(text):
    """{path: set of packages} from `dpkg -S` output; diversion notes are skipped."""
    owners = {}
    for line in text.splitlines():
        if line.startswith("diversion by ") or ": " not in line:
            continue
        packages, path = line.split(": ", 1)
        owners.setdefault(path, set()).update(strip_arch(p.strip()) for p in packages.split(","))
    return owners


def parse_apt_depends(text):
    """The dependency graph of `apt-cache depends --recurse` output.

    Returns {package: [alternatives, ...]}, each alternative a list of names in
    apt's order; a virtual name is kept as "<name>" and the graph also maps it to
    its providers, one single-name alternative each.
    """
    graph = {}
    current = None
    group = []
    last_virtual = None
    for line in text.splitlines():
        if not line.strip():
            continue
        if not line.startswith(" "):
            current = strip_arch(line.strip()) if not line.startswith("<") else line.strip()
            graph.setdefault(current, [])
            group, last_virtual = [], None
            continue
        stripped = line.strip()
        if line.startswith("    ") and last_virtual:
            provider = strip_arch(stripped)
            providers = graph.setdefault(last_virtual, [])
            if [provider] not in providers:
                providers.append([provider])
            continue
        kind, _, name = stripped.partition(": ")
        continuing = kind.startswith("|")
        if kind.lstrip("|") not in ("Depends", "PreDepends", "Pre-Depends"):
            last_virtual = None
            continue
        name = ("<%s>" % strip_arch(name[1:-1])) if name.startswith("<") else strip_arch(name)
        last_virtual = name if name.startswith("<") else None
        if name.startswith("<"):
            graph.setdefault(name, [])
        group.append(name)
        if not continuing:
            graph[current].append(group)
            group = []
    return graph


def closure(graph, roots):
    """The packages apt would install for roots on a bare system: the first
    alternative of each dependency, every provider of a virtual package."""
    seen = set()
    todo = list(roots)
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        for alternatives in graph.get(name, []):
            todo.append(alternatives[0])
    return {name for name in seen if not name.startswith("<")}


# ---- asking the system ----

def run(args, cwd=None, check=True):
    done = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if check and done.returncode != 0:
        sys.exit("check_deps: %s failed:\n%s" % (" ".join(args), done.stderr))
    return done


def deps_packages():
    # The test command makes and tries the packages too: their group holds every other.
    out = run([os.path.join(ROOT, "scripts", "deps.sh"), "--list", "package"]).stdout
    return sorted(set(out.split()))


def essential_packages():
    out = run(["dpkg-query", "-W", "-f", "${Essential} ${Package}\n"]).stdout
    return sorted(line.split()[1] for line in out.splitlines() if line.startswith("yes "))


def installed_closure(roots, cache_dir):
    key = hashlib.sha256("\n".join(roots).encode()).hexdigest()
    try:
        key += "-%d" % os.stat("/var/cache/apt/pkgcache.bin").st_mtime_ns
    except OSError:
        pass
    cache_file = os.path.join(cache_dir, "check_deps_closure.json")
    try:
        with open(cache_file) as cached:
            data = json.load(cached)
        if data["key"] == key:
            return set(data["packages"])
    except (OSError, ValueError, KeyError):
        pass
    text = run(["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests", "--no-conflicts",
                "--no-breaks", "--no-replaces", "--no-enhances"] + roots).stdout
    packages = closure(parse_apt_depends(text), roots)
    with open(cache_file, "w") as cached:
        json.dump({"key": key, "packages": sorted(packages)}, cached)
    return packages


def merged_usr_alias(path):
    """The other name of a path on a merged-/usr system (/lib/x <-> /usr/lib/x)."""
    for top in MERGED_USR:
        if path.startswith(top + "/"):
            return "/usr" + path
        if path.startswith("/usr" + top + "/"):
            return path[len("/usr"):]
    return None


def candidates(path):
    """Names under which dpkg may know a file, in order of preference: the name used,
    its merged-/usr alias, and the same for the file a symbolic link leads to."""
    names = [path, merged_usr_alias(path)]
    real = os.path.realpath(path)
    if real != path:
        names += [real, merged_usr_alias(real)]
    return [name for name in names if name]


def owners_of(paths):
    """{path: set of packages}; paths no package owns are left out."""
    found = {}
    pending = {path: candidates(path) for path in paths}
    while pending:
        batch = {path: names.pop(0) for path, names in pending.items()}
        result = parse_dpkg_search(run(["dpkg", "-S"] + sorted(set(batch.values())), check=False).stdout)
        for path, name in batch.items():
            if name in result:
                found[path] = result[name]
        pending = {path: names for path, names in pending.items() if path not in found and names}
    return found


# ---- what the build and the tests use ----

def inside(path, folders):
    return any(path == folder or path.startswith(folder + os.sep) for folder in folders)


def headers_read(build_dir):
    return parse_ninja_deps(run(["ninja", "-C", build_dir, "-t", "deps"]).stdout, build_dir)


def link_edges(build_dir):
    """Outputs of the build's link steps, from build.ninja."""
    outputs = []
    with open(os.path.join(build_dir, "build.ninja")) as ninja_file:
        for line in ninja_file:
            if not line.startswith("build "):
                continue
            head, _, rest = line[len("build "):].partition(": ")
            rule = rest.split(" ", 1)[0]
            if any(kind in rule for kind in ("_EXECUTABLE_LINKER__", "_SHARED_LIBRARY_LINKER__",
                                             "_MODULE_LIBRARY_LINKER__")):
                outputs.append(head.split(" ")[0].replace("$ ", " "))
    return outputs


def link_command(build_dir, output):
    """The link step of an output's command, as an argument list (CMake wraps it in
    `: && ... && :` and may append post-build steps)."""
    text = run(["ninja", "-C", build_dir, "-t", "commands", "-s", output]).stdout.strip()
    for part in text.split(" && "):
        args = shlex.split(part)
        if "-o" in args and args[args.index("-o") + 1] == output:
            return args
    return None


def libraries_linked(build_dir, folders, cache):
    """Every file the links of a tree read, linking each distinct set of outside
    inputs and flags once more with --trace into a scratch file."""
    files = set()
    groups = {}
    for output in link_edges(build_dir):
        # A tree built only in part (the release tree builds the packaged programs alone)
        # used only the links it made.
        if not os.path.exists(os.path.join(build_dir, output)):
            continue
        args = link_command(build_dir, output)
        if args is None:
            continue
        at = args.index("-o")
        outside = [a for i, a in enumerate(args) if i not in (at, at + 1)
                   and not (not os.path.isabs(a) and os.path.exists(os.path.join(build_dir, a)))]
        groups.setdefault(" ".join(outside), args)
    for key, args in groups.items():
        if key in cache:
            files.update(cache[key])
            continue
        with tempfile.TemporaryDirectory(prefix="check_deps_") as scratch:
            traced = list(args)
            traced[traced.index("-o") + 1] = os.path.join(scratch, "linked")
            done = run(traced + ["-Wl,--trace"], cwd=build_dir, check=False)
        if done.returncode != 0:
            sys.exit("check_deps: linking again with --trace failed in %s:\n%s" % (build_dir, done.stderr))
        read = {p for p in parse_ld_trace(done.stdout, build_dir) if not inside(p, folders)}
        cache[key] = sorted(read)
        files.update(read)
    return files


def cache_variable(build_dir, name):
    with open(os.path.join(build_dir, "CMakeCache.txt")) as cache:
        for line in cache:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    return ""


def tools_configured(build_dir):
    names = ["CMAKE_CXX_COMPILER", "CMAKE_C_COMPILER", "CMAKE_MAKE_PROGRAM", "CMAKE_COMMAND",
             "PKG_CONFIG_EXECUTABLE"]
    return {value for value in (cache_variable(build_dir, name) for name in names) if value}


def python_imports(source):
    """Top-level module names a Python source imports (relative imports left out)."""
    names = set()
    for node in ast.walk(ast.parse(source)):
        if isinstance(node, ast.Import):
            names.update(alias.name.split(".")[0] for alias in node.names)
        elif isinstance(node, ast.ImportFrom) and node.level == 0 and node.module:
            names.add(node.module.split(".")[0])
    return names


def python_scripts():
    for folder in PYTHON_FOLDERS:
        for directory, subfolders, files in os.walk(os.path.join(ROOT, folder)):
            subfolders[:] = [s for s in subfolders if s not in ("build", "corpus", "__pycache__")]
            for name in files:
                if name.endswith(".py"):
                    yield os.path.join(directory, name)


def python_module_files(problems):
    files = set()
    scripts = list(python_scripts())
    ours = {os.path.splitext(os.path.basename(script))[0] for script in scripts}
    for script in scripts:
        with open(script, encoding="utf-8") as source:
            modules = python_imports(source.read())
        for module in sorted(modules - ours):
            located = importlib.util.find_spec(module)
            if located is None:
                problems.append("%s imports %s, which no installed package provides"
                                % (os.path.relpath(script, ROOT), module))
            elif located.origin and os.path.isabs(located.origin):
                files.add(located.origin)
    return files


def program_files(names, problems):
    files = set()
    for name in names:
        path = name if os.path.isabs(name) else shutil.which(name)
        if path is None or not os.path.exists(path):
            problems.append("the program %s is not installed" % name)
        else:
            files.add(path)
    return files


# ---- the verdict ----

def verdict(used, owners, installed, folders):
    """Problems, one line each: files from packages outside the installed set, and
    files outside the tree that no package owns. `used` maps file -> what read it."""
    problems = []
    by_package = collections.defaultdict(list)
    for path in sorted(used):
        if inside(path, folders):
            continue
        packages = owners.get(path)
        if not packages:
            problems.append("%s (read by %s) belongs to no Debian package" % (path, used[path]))
        elif not packages & installed:
            by_package[", ".join(sorted(packages))].append("%s (%s)" % (path, used[path]))
    for package, files in sorted(by_package.items()):
        shown = "; ".join(files[:3]) + ("; and %d more" % (len(files) - 3) if len(files) > 3 else "")
        problems.append("%s is not installed by scripts/deps.sh: %s" % (package, shown))
    return problems


def main(build_dirs):
    if not build_dirs:
        sys.exit(__doc__)
    build_dirs = [os.path.abspath(d) for d in build_dirs]
    for build_dir in build_dirs:
        if not os.path.exists(os.path.join(build_dir, "build.ninja")):
            sys.exit("check_deps: %s is not a built tree" % build_dir)
    folders = [ROOT] + build_dirs
    problems = []
    used = {}

    def note(paths, what):
        # The dependency log keeps files of earlier builds; only what is there now counts.
        for path in paths:
            if os.path.exists(path):
                used.setdefault(path, what)

    for build_dir in build_dirs:
        name = os.path.relpath(build_dir, ROOT)
        cache_file = os.path.join(build_dir, "check_deps_links.json")
        try:
            with open(cache_file) as cached:
                link_cache = json.load(cached)
        except (OSError, ValueError):
            link_cache = {}
        note(headers_read(build_dir), "the compiler in " + name)
        note(libraries_linked(build_dir, folders, link_cache), "the linker in " + name)
        with open(cache_file, "w") as cached:
            json.dump(link_cache, cached)
        note(program_files(tools_configured(build_dir), problems), "the build in " + name)
    note(program_files(TEST_PROGRAMS, problems), "the tests")
    note(python_module_files(problems), "the Python scripts")

    roots = deps_packages()
    installed = installed_closure(sorted(set(roots + essential_packages())), build_dirs[0])
    outside = [path for path in used if not inside(path, folders)]
    problems += verdict(used, owners_of(outside), installed, folders)
    if problems:
        print("check_deps: FAILED, the build or the tests use what scripts/deps.sh does not install:")
        for problem in problems:
            print("  " + problem)
        return 1
    print("check_deps: passed (%d files outside the tree, from packages scripts/deps.sh installs; "
          "%d packages in its closure)" % (len(outside), len(installed)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
