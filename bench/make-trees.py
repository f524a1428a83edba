#!/usr/bin/env python3
"""Builds the benchmark trees under SCRATCH (bench/run calls this; see bench/README.md).

  a/     200,000 names in 2,000 directories: 180,000 files and 20,000 hard links (10 %) to files
         in other directories
  b/     5 chains 50 directories deep; every level holds 30 files and a leaf directory of 10
  c/     one directory of 100,000 files
  home/  a fixture home for the whole-scan benchmark: a pnpm store of 300,000 files, 200
         Homebrew-style formula directories, 6 Node versions under nvm, bun globals and cache,
         an npm cache, and stand-in brew, pnpm and bun commands at the places the scan looks for
         them in a home directory
  storehome/
         the same home around a store the size of a working laptop's: 1,000,000 files in
         .local/share/pnpm/store/v10/files/00..ff, each hard-linked once from a package folder
         under storehome/projects (outside the store, as a project's node_modules are), and
         30,000 index files; about 6 GiB allocated. The part "store" is this tree too.
  projects/
         a home for the project finder: 40 projects of mixed kinds (15 JavaScript projects on their
         own and two workspaces of a root and three members, 7 Rust, 7 Python and 3 Gradle ones)
         whose build folders hold 20,000-60,000 files each in nested folders, about 1.6 million in
         all; 300,000 other files around them (the projects' sources
         and .git folders, documents, pictures, music, other source trees, and dot-folders of which
         some hold package.json and node_modules that must not be found), and decoys: a
         node_modules without package.json and one that is a link. Every file but the projects'
         own package.json is a hard link to one of 512 template files in projects.templates/ (a
         few thousand links each), so anything that frees or counts bytes here must count each
         file once.

Deterministic (fixed seeds). Each tree is made once: a finished tree has a marker file, and a
half-made one is removed and made again.
"""
import math
import multiprocessing
import os
import random
import shutil
import sys

MARKER = ".kelvo-bench-complete"
VERSION = "3"


def size_choice(rng):
    r = rng.random()
    if r < 0.30:
        return rng.randrange(0, 512)
    if r < 0.70:
        return rng.randrange(512, 4096)
    if r < 0.95:
        return rng.randrange(4096, 32768)
    return rng.randrange(32768, 131072)


PAYLOAD = b"k" * 131072


def write(path, length):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        if length:
            os.write(fd, PAYLOAD[:length])
    finally:
        os.close(fd)


def write_big(fd, length):
    view = memoryview(BIG)
    while length > 0:
        length -= os.write(fd, view[: min(length, len(BIG))])


def log_uniform(rng, low, high):
    return int(math.exp(rng.uniform(math.log(low), math.log(high))))


def store_size(rng):
    """A package file: a median near 600 bytes, 95 % under 8 KiB, a thin tail to 4 MiB."""
    r = rng.random()
    if r < 0.03:
        return 0
    if r < 0.83:
        return log_uniform(rng, 40, 4096)
    if r < 0.95:
        return rng.randrange(4096, 8192)
    if r < 0.995:
        return log_uniform(rng, 8192, 32768)
    if r < 0.9998:
        return log_uniform(rng, 32768, 262144)
    return log_uniform(rng, 262144, 4 << 20)


BIG = bytes(1 << 20)
STORE_FILES = 1_000_000
STORE_PACKAGES = 30_000
STORE_PROJECTS = 30


def package_dir(projects, p):
    return f"{projects}/app-{p % STORE_PROJECTS:02d}/node_modules/.pnpm/pkg{p:05d}@1.{p % 7}.0/node_modules/pkg{p:05d}"


def store_part(args):
    """One of the 256 content directories: its files, each linked into a random package folder,
    and its share of the index."""
    store, projects, d = args
    rng = random.Random(1000 + d)
    count = STORE_FILES // 256 + (1 if d < STORE_FILES % 256 else 0)
    files = f"{store}/v10/files/{d:02x}"
    os.makedirs(files)
    for j in range(count):
        name = f"{files}/{rng.getrandbits(504):0126x}" + ("-exec" if rng.random() < 0.03 else "")
        fd = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        try:
            write_big(fd, store_size(rng))
        finally:
            os.close(fd)
        os.link(name, f"{package_dir(projects, rng.randrange(STORE_PACKAGES))}/{d:02x}{j:04d}.js")
    index = f"{store}/v10/index/{d:02x}"
    os.makedirs(index)
    for p in range(d, STORE_PACKAGES, 256):
        name = f"{index}/{rng.getrandbits(248):062x}-pkg{p:05d}@1.{p % 7}.0.json"
        with open(name, "w") as f:
            f.write('{"files":"' + "f" * log_uniform(rng, 300, 30000) + '"}\n')


def pnpm_store(store, projects):
    for p in range(STORE_PACKAGES):
        os.makedirs(package_dir(projects, p))
    with multiprocessing.Pool(2) as pool:
        for _ in pool.imap_unordered(store_part, [(store, projects, d) for d in range(256)]):
            pass


def script(path, body):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body)
    os.chmod(path, 0o755)


def tree_a(root):
    rng = random.Random(1)
    files = []
    dirs = []
    for g in range(20):
        for d in range(100):
            path = f"{root}/g{g:02d}/d{d:03d}"
            os.makedirs(path)
            dirs.append(path)
            for f in range(90):
                name = f"{path}/file-{f:02d}.js"
                write(name, size_choice(rng))
                files.append(name)
    for i, path in enumerate(dirs):
        for k in range(10):
            target = files[rng.randrange(len(files))]
            os.link(target, f"{path}/link-{k}.js")


def tree_b(root):
    rng = random.Random(2)
    for chain in range(5):
        level = f"{root}/chain{chain}"
        for depth in range(50):
            os.makedirs(f"{level}/leaf")
            for f in range(30):
                write(f"{level}/f{f:02d}", size_choice(rng))
            for f in range(10):
                write(f"{level}/leaf/g{f}", size_choice(rng))
            level = f"{level}/level{depth + 1:02d}"
        os.makedirs(level)


def tree_c(root):
    rng = random.Random(3)
    os.makedirs(root)
    for f in range(100000):
        write(f"{root}/entry-{f:06d}.dat", rng.randrange(0, 4096))


def small_store(root, rng):
    # pnpm's content-addressable store: 256 two-hex-digit directories of files.
    store = f"{root}/.local/share/pnpm/store/v3/files"
    for d in range(256):
        os.makedirs(f"{store}/{d:02x}")
    for f in range(300000):
        d = f % 256
        name = f"{store}/{d:02x}/{rng.getrandbits(120):030x}"
        write(name, size_choice(rng) // 2)


def home(root, store=small_store):
    rng = random.Random(4)
    store(root, rng)
    script(f"{root}/.local/share/pnpm/pnpm", 'case "$1" in --version) echo 9.1.0;; *) exit 1;; esac\n')

    # Homebrew: Cellar/<formula>/<version>/{bin,lib,share/doc}.
    cellar = f"{root}/.linuxbrew/Cellar"
    names = [f"formula{i:03d}" for i in range(200)]
    for name in names:
        base = f"{cellar}/{name}/1.{rng.randrange(20)}.{rng.randrange(10)}"
        for sub in ("bin", "lib", "share/doc"):
            os.makedirs(f"{base}/{sub}")
        for f in range(50):
            sub = ("bin", "lib", "lib", "share/doc")[f % 4]
            write(f"{base}/{sub}/part{f:02d}", size_choice(rng))
    with open(f"{root}/.linuxbrew/formulae.txt", "w") as f:
        f.write("\n".join(names) + "\n")
    with open(f"{root}/.linuxbrew/leaves.txt", "w") as f:
        f.write("\n".join(names[::3]) + "\n")
    script(f"{root}/.linuxbrew/bin/brew", f'''here="{root}/.linuxbrew"
case "$1 $2" in
  "--version ") echo "Homebrew 4.2.1";;
  "--cellar ") echo "$here/Cellar";;
  "list --formula") cat "$here/formulae.txt";;
  "leaves ") cat "$here/leaves.txt";;
  *) exit 1;;
esac
''')

    # nvm: six Node versions, each with a binary, headers and the bundled npm.
    for version in ("v18.19.0", "v18.20.1", "v20.11.1", "v20.12.0", "v21.7.1", "v22.2.0"):
        base = f"{root}/.nvm/versions/node/{version}"
        os.makedirs(f"{base}/bin")
        write(f"{base}/bin/node", 131072)
        os.makedirs(f"{base}/include/node")
        for f in range(200):
            write(f"{base}/include/node/h{f:03d}.h", size_choice(rng))
        for p in range(100):
            pkg = f"{base}/lib/node_modules/npm/node_modules/dep{p:03d}"
            os.makedirs(f"{pkg}/lib")
            for f in range(20):
                write(f"{pkg}/lib/m{f:02d}.js", size_choice(rng))
    os.makedirs(f"{root}/.nvm/alias")
    with open(f"{root}/.nvm/alias/default", "w") as f:
        f.write("v20.12.0\n")

    # bun: global packages and the install cache.
    modules = f"{root}/.bun/install/global/node_modules"
    for p in range(30):
        pkg = f"{modules}/tool{p:02d}"
        os.makedirs(f"{pkg}/dist")
        with open(f"{pkg}/package.json", "w") as f:
            f.write(f'{{"name": "tool{p:02d}", "version": "1.0.{p}"}}\n')
        for f in range(200):
            write(f"{pkg}/dist/c{f:03d}.js", size_choice(rng))
    for c in range(100):
        entry = f"{root}/.bun/install/cache/lib{c:03d}@2.{c}.0"
        os.makedirs(entry)
        for f in range(50):
            write(f"{entry}/f{f:02d}.js", size_choice(rng))
    script(f"{root}/.bun/bin/bun", 'case "$1" in --version) echo 1.1.8;; *) exit 1;; esac\n')

    # npm's cache in the home directory.
    for d in range(64):
        entry = f"{root}/.npm/_cacache/content-v2/sha512/{d:02x}"
        os.makedirs(entry)
        for f in range(40):
            write(f"{entry}/{rng.getrandbits(100):025x}", size_choice(rng))


PROJECT_TEMPLATES = 512


def project_templates(base):
    """The files that every file of the projects home links to: package-file sizes."""
    rng = random.Random(6)
    os.makedirs(base)
    for t in range(PROJECT_TEMPLATES):
        write(f"{base}/t{t:03d}", min(store_size(rng), len(PAYLOAD)))


class Linker:
    """Makes files as hard links to the templates, in turn (no template nears ext4's 65,000)."""

    def __init__(self, base, seed):
        self.base = base
        self.next = seed

    def __call__(self, path):
        os.link(f"{self.base}/t{self.next % PROJECT_TEMPLATES:03d}", path)
        self.next += 1

    def fill(self, folder, count, names=("index.js", "README.md", "util.js", "types.d.ts", "data.json")):
        os.makedirs(folder, exist_ok=True)
        for _ in range(count):
            self(f"{folder}/f{self.next}-{names[self.next % len(names)]}")


def package(link, rng, folder, files):
    """One installed package: its manifest, readme and licence, the rest in nested folders of up
    to 20 files (lib/, dist/esm/, src/utils/x/ ...); some carry a node_modules of their own."""
    os.makedirs(folder)
    for name in ("package.json", "README.md", "LICENSE"):
        link(f"{folder}/{name}")
    files -= 3
    if files > 40 and rng.random() < 0.1:
        nested = rng.randrange(10, files // 2)
        package(link, rng, f"{folder}/node_modules/dep-{rng.randrange(1000)}", nested)
        files -= nested
    subs = ["lib", "dist", "dist/esm", "dist/cjs", "src", "src/utils", "src/utils/x", "types", "lib/internal"]
    while files > 0:
        n = min(files, rng.randrange(5, 21))
        sub = f"{folder}/{rng.choice(subs)}"
        os.makedirs(sub, exist_ok=True)
        for f in range(n):
            link(f"{sub}/f{files - f}.{rng.choice(('js', 'mjs', 'cjs', 'd.ts', 'map', 'json'))}")
        files -= n


def node_modules(link, rng, folder, files):
    """A project's node_modules: packages (some scoped) of 3 to about 400 files until `files`."""
    os.makedirs(f"{folder}/.bin")
    link(f"{folder}/.package-lock.json")
    p = 0
    while files > 0:
        n = min(files, max(3, log_uniform(rng, 3, 400)))
        name = f"@scope{p % 9}/pkg-{p}" if rng.random() < 0.15 else f"pkg-{p}"
        package(link, rng, f"{folder}/{name}", n)
        if p < 10:
            os.symlink(f"../{name}/lib/cli.js", f"{folder}/.bin/cli-{p}")
        files -= n
        p += 1


def sources(link, rng, folder, files, depth=3):
    """A source tree: folders of 5 to 15 files, nested up to `depth` levels below `folder`."""
    parents = [folder]
    made = 0
    while files > 0:
        parent = rng.choice(parents)
        child = f"{parent}/m{made}"
        made += 1
        n = min(files, rng.randrange(5, 16))
        link.fill(child, n, ("main.c", "main.h", "mod.rs", "app.ts", "view.tsx", "notes.md"))
        if child.count("/") - folder.count("/") < depth:
            parents.append(child)
        files -= n


def one_project(args):
    """A project folder: its manifest, sources, a .git folder and node_modules; a workspace also
    has members under packages/, each a project of its own."""
    root, templates, i, members = args
    rng = random.Random(100 + i)
    link = Linker(templates, i * 7919)
    group = ("code", "work/client", "src/js", "projects/archive")[i % 4]
    folder = f"{root}/{group}/app-{i:02d}"
    # Every fifth a Rust project, every fifth a Python one and every seventh a Gradle one, with
    # build folders as large as a node_modules; the others (workspaces too) JavaScript ones.
    kind = "js" if members else {1: "cargo", 3: "python"}.get(i % 5, "gradle" if i % 7 == 2 else "js")
    if kind != "js":
        os.makedirs(folder)
        marker, builds = {"cargo": ("Cargo.toml", ["target"]), "python": ("pyproject.toml", [".venv", ".mypy_cache"]),
                          "gradle": ("build.gradle", ["build", ".gradle"])}[kind]
        link(f"{folder}/{marker}")
        sources(link, rng, f"{folder}/src", 900)
        for build in builds:
            sources(link, rng, f"{folder}/{build}", rng.randrange(20000, 60001) // len(builds), depth=4)
        link(f"{folder}/{builds[0]}/{'pyvenv.cfg' if kind == 'python' else 'CACHEDIR.TAG'}")
        sources(link, rng, f"{folder}/.git/objects", 1500, depth=1)
        return
    for member in [""] + [f"/packages/part-{m}" for m in range(members)]:
        where = folder + member
        os.makedirs(where)
        with open(f"{where}/package.json", "w") as f:
            f.write(f'{{"name": "app-{i}{member.replace("/", "-")}", "version": "1.0.0"}}\n')
        link(f"{where}/package-lock.json")
        sources(link, rng, f"{where}/src", 900 if not member else 300)
        link.fill(f"{where}/test", 100)
        node_modules(link, rng, f"{where}/node_modules", rng.randrange(20000, 60001))
    sources(link, rng, f"{folder}/.git/objects", 1500, depth=1)


def projects_home(root):
    templates = f"{root}.templates"
    if os.path.exists(templates):
        shutil.rmtree(templates)
    project_templates(templates)
    os.makedirs(root)
    # 32 projects on their own and two workspaces of a root and three members: 40 projects.
    tasks = [(root, templates, i, 3 if i in (5, 17) else 0) for i in range(34)]
    with multiprocessing.Pool(2) as pool:
        for _ in pool.imap_unordered(one_project, tasks):
            pass
    rng = random.Random(7)
    link = Linker(templates, 1)
    sources(link, rng, f"{root}/Documents", 60000)
    sources(link, rng, f"{root}/Pictures", 30000, depth=2)
    sources(link, rng, f"{root}/Music", 20000, depth=2)
    sources(link, rng, f"{root}/src/kernel-like", 60000, depth=5)
    # Folders that hold node_modules without being projects, or hold one that is a link.
    node_modules(link, rng, f"{root}/Downloads/old-tutorial/node_modules", 500)
    node_modules(link, rng, f"{root}/code/shared/node_modules", 500)
    os.makedirs(f"{root}/code/linked-modules")
    link(f"{root}/code/linked-modules/package.json")
    os.symlink("../shared/node_modules", f"{root}/code/linked-modules/node_modules")
    # Applications keep node_modules of their own in dot-folders: none of them is a project.
    sources(link, rng, f"{root}/.cache/thumbnails", 18000, depth=1)
    for where, files in ((".cache/some-tool", 5000), (".config/app", 2000), (".local/share/app", 1000)):
        os.makedirs(f"{root}/{where}")
        link(f"{root}/{where}/package.json")
        node_modules(link, rng, f"{root}/{where}/node_modules", files)
    for e in range(10):
        extension = f"{root}/.vscode/extensions/pub.ext-{e}"
        os.makedirs(extension)
        link(f"{extension}/package.json")
        node_modules(link, rng, f"{extension}/node_modules", 1500)


def store_home(root):
    home(root, lambda root, rng: pnpm_store(f"{root}/.local/share/pnpm/store", f"{root}/projects"))


def main():
    scratch = sys.argv[1]
    wanted = sys.argv[2:] or ["a", "b", "c", "home"]
    builders = {"a": tree_a, "b": tree_b, "c": tree_c, "home": home, "storehome": store_home, "projects": projects_home}
    os.makedirs(scratch, exist_ok=True)
    # The million-file store is measured on its own ("store") and in its home ("storehome").
    wanted = list(dict.fromkeys("storehome" if name == "store" else name for name in wanted))
    for name in wanted:
        root = os.path.join(scratch, name)
        marker = os.path.join(scratch, f"{name}{MARKER}")
        if os.path.exists(marker) and open(marker).read() == VERSION:
            continue
        if os.path.exists(root):
            shutil.rmtree(root)
        print(f"making {root} ...", file=sys.stderr, flush=True)
        builders[name](root)
        with open(marker, "w") as f:
            f.write(VERSION)


if __name__ == "__main__":
    main()
