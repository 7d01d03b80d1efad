"""Every repository path that a comment of the sources or a page of the docs
names exists (docs.check, check_docs.py).

A repository path is a word of path characters (letters, digits, _ . + - /)
whose first part is a folder at the top of the tree, followed by a slash:
`sim/search/state_graph.h`, `platform/sim/`, `.ci/run`. The word starts
where no path character or `$ { } ~` comes before it, so that a path under
a build folder (`build/sim/listpool-sim`, `${build}/sim/...`) or a
site's address is not one: build folders are made, not kept in the tree,
and are not at its top until a build makes them (a folder named `build`
or `build-...` never counts). A path ends at the first other character;
a full stop or hyphen that ends it is the sentence's. A word with a
wildcard (`docs/*.md`) is checked up to it, as a folder.

The sources are the files the repository keeps (git ls-files, else every
file outside the build folders) with a suffix below, and only their
comments are read; the docs are README.md and docs/*.md, read whole.
"""
import re
import subprocess

C_LIKE = {".h", ".cpp", ".in", ".js", ".html"}
HASH_LIKE = {".py", ".sh", ".cmake", ".txt"}

# A comment, or a string or character literal to step over.
C_TOKENS = re.compile(r"""//[^\n]*|/\*[\s\S]*?\*/|<!--[\s\S]*?-->|"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*'""")
HASH_TOKENS = re.compile(
    r'''"""[\s\S]*?"""|\'\'\'[\s\S]*?\'\'\'|#[^\n]*|"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*\'''')
PATH = re.compile(r"(?<![\w.+/${}~-])(\.?[\w+-][\w.+-]*/[\w.+/-]*)")


def kept_files(root):
    try:
        listed = subprocess.run(["git", "-C", str(root), "ls-files"], capture_output=True,
                                text=True, check=True).stdout.split("\n")
        files = [root / name for name in listed if name]
    except (OSError, subprocess.CalledProcessError):
        files = [path for path in root.rglob("*") if path.is_file()]
    return [path for path in files if not is_made(path.relative_to(root).parts[0])]


def is_made(top):
    return top == "build" or top.startswith("build-") or top == ".git"


def comments(path):
    """The comments of a source file, each with the line it starts on."""
    suffix = path.suffix if path.name != "CMakeLists.txt" else ".cmake"
    if suffix in C_LIKE:
        tokens, opener = C_TOKENS, ("//", "/*", "<!--")
    elif suffix in HASH_LIKE and suffix != ".txt":
        tokens, opener = HASH_TOKENS, ("#", '"""', "'''")
    else:
        return []
    text = path.read_text(encoding="utf-8", errors="replace")
    return [(text.count("\n", 0, token.start()) + 1, token.group(0))
            for token in tokens.finditer(text) if token.group(0).startswith(opener)]


def named_paths(text, tops):
    for word in PATH.findall(text):
        word = re.sub(r"[.-]+$", "", word)
        if word.split("/")[0] in tops:
            yield word


def check_paths(root, docs, problems):
    tops = {path.name for path in root.iterdir() if path.is_dir() and not is_made(path.name)}
    places = []
    for path in kept_files(root):
        if path.suffix in C_LIKE | HASH_LIKE and path.relative_to(root).parts[0] != "docs":
            places += [(path, number, text) for number, text in comments(path)]
    for page in docs:
        text = page.read_text(encoding="utf-8")
        places += [(page, number, line) for number, line in enumerate(text.split("\n"), 1)]
    for path, number, text in places:
        for word in named_paths(text, tops):
            if not (root / word).exists():
                line = number + text[: text.find(word)].count("\n")
                problems.append("%s:%d: names %s, which is not in the tree" % (
                    path.relative_to(root), line, word))
