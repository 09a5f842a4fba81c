#!/usr/bin/env python3
"""The documentation against the program it describes.

    check_docs.py CLI REPO           check; exit 1 with a line per problem
    check_docs.py --fill CLI REPO    rewrite docs/cli.md's help blocks from CLI

Three checks:
- links: every relative link of README.md and docs/*.md names a file of the
  repository, and an anchor (#...) names a heading of the page it points to;
- help: every block of docs/cli.md after a line `<!-- help: WHAT -->` is that
  part of what `CLI --help` prints (about, a command, switches), and a command's
  block is what `CLI COMMAND --help` prints; every part has its block;
- examples: every ```console block of README.md runs as written, each `$` line
  a command (with `brindlecap-cli` found on PATH as CLI) in one scratch folder
  where `tests` is the repository's tests folder. Each command must exit with 0,
  and print what the lines after it show; a line `...` there stands for any
  number of lines left out.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
HELP_TAG = re.compile(r"^<!-- help: ([a-z]+) -->$")
COMMANDS = ("watch", "sort", "name", "folder", "info", "stats", "report")


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def pages(repo):
    found = [os.path.join(repo, "README.md")]
    docs = os.path.join(repo, "docs")
    for name in sorted(os.listdir(docs)):
        if name.endswith(".md"):
            found.append(os.path.join(docs, name))
    return found


def without_code(text):
    """The page with its fenced blocks and inline code blanked: links are prose."""
    out = []
    fenced = False
    for line in text.split("\n"):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            out.append("")
            continue
        out.append("" if fenced else re.sub(r"`[^`]*`", "", line))
    return "\n".join(out)


def slug(heading):
    """The anchor a heading gets where Markdown is rendered (GitHub's rule)."""
    text = heading.strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(text):
    found = set()
    counts = {}
    fenced = False
    for line in text.split("\n"):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        m = None if fenced else re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
        if m:
            base = slug(m.group(1))
            n = counts.get(base, 0)
            counts[base] = n + 1
            found.add(base if n == 0 else "%s-%d" % (base, n))
    return found


def check_links(repo):
    problems = []
    for page in pages(repo):
        text = read(page)
        where = os.path.relpath(page, repo)
        for target in LINK.findall(without_code(text)):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I):
                continue  # an address, not a file of ours
            path, _, anchor = target.partition("#")
            if path:
                full = os.path.normpath(os.path.join(os.path.dirname(page), path))
                if not full.startswith(os.path.abspath(repo) + os.sep):
                    problems.append("%s: link %s leaves the repository" % (where, target))
                    continue
                if not os.path.exists(full):
                    problems.append("%s: link %s names no file" % (where, target))
                    continue
            else:
                full = page
            if anchor:
                if not full.endswith(".md") or os.path.isdir(full):
                    problems.append("%s: link %s has an anchor into a page that is not Markdown"
                                    % (where, target))
                elif anchor not in anchors(read(full)):
                    problems.append("%s: link %s names no heading of %s"
                                    % (where, target, os.path.relpath(full, repo)))
    return problems


def help_blocks(text):
    """(tag, start line, end line) of each tagged block: lines[start:end] are its text."""
    lines = text.split("\n")
    blocks = []
    i = 0
    while i < len(lines):
        m = HELP_TAG.match(lines[i])
        if m:
            if i + 1 >= len(lines) or not lines[i + 1].startswith("```"):
                raise ValueError("line %d: a help tag without a ``` block after it" % (i + 1))
            start = i + 2
            end = start
            while end < len(lines) and not lines[end].startswith("```"):
                end += 1
            if end == len(lines):
                raise ValueError("line %d: a help block that never ends" % (i + 1))
            blocks.append((m.group(1), start, end))
            i = end
        i += 1
    return blocks


def run_cli(cli, args):
    done = subprocess.run([cli] + args, capture_output=True, timeout=60)
    if done.returncode != 0:
        raise RuntimeError("%s %s exited with %d" % (cli, " ".join(args), done.returncode))
    return done.stdout.decode("utf-8")


def expected_help(cli, tag):
    if tag in COMMANDS:
        return run_cli(cli, [tag, "--help"])
    return None


def help_parts(whole):
    """`--help` cut into its parts, by tag: about, each command, switches."""
    parts = {}
    for k, part in enumerate(re.split(r"\n\n(?=usage: brindlecap-cli |switches:\n)", whole)):
        m = re.match(r"usage: brindlecap-cli ([a-z]+)", part)
        tag = "about" if k == 0 else m.group(1) if m else "switches"
        parts[tag] = part.rstrip("\n") + "\n"
    return parts


def check_help(cli, repo, fill):
    page = os.path.join(repo, "docs", "cli.md")
    text = read(page)
    try:
        blocks = help_blocks(text)
    except ValueError as e:
        return ["docs/cli.md: %s" % e]
    parts = help_parts(run_cli(cli, ["--help"]))
    tags = [tag for tag, _, _ in blocks]
    problems = []
    for tag in parts:
        if tag not in tags:
            problems.append("docs/cli.md: no help block of %s" % tag)
    for tag in tags:
        if tags.count(tag) > 1 or tag not in parts:
            problems.append("docs/cli.md: a help block of %s, which the help has %s" % (
                tag, "once" if tag in parts else "not"))
    if problems:
        return problems
    lines = text.split("\n")
    if fill:
        for tag, start, end in reversed(blocks):
            lines[start:end] = parts[tag].rstrip("\n").split("\n")
        with open(page, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        return []
    for tag, start, end in blocks:
        shown = "\n".join(lines[start:end]) + "\n"
        if shown != parts[tag]:
            problems.append("docs/cli.md: the help block of %s is not that part of what "
                            "`brindlecap-cli --help` prints (check_docs.py --fill CLI REPO "
                            "rewrites the blocks)" % tag)
        own = expected_help(cli, tag)
        if own is not None and own != shown:
            problems.append("docs/cli.md: the help block of %s is not what `brindlecap-cli %s "
                            "--help` prints" % (tag, tag))
    return problems


def console_blocks(text):
    """Each ```console block as a list of (command, shown output lines)."""
    blocks = []
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        if lines[i].strip() == "```console":
            steps = []
            i += 1
            while i < len(lines) and lines[i].strip() != "```":
                line = lines[i]
                if line.startswith("$ "):
                    command = line[2:]
                    while command.endswith("\\") and i + 1 < len(lines):
                        i += 1
                        command = command[:-1] + " " + lines[i].strip()
                    steps.append([command, []])
                elif steps:
                    steps[-1][1].append(line)
                else:
                    raise ValueError("line %d: output before any command" % (i + 1))
                i += 1
            blocks.append(steps)
        i += 1
    return blocks


def matches(shown, printed):
    """Whether printed (lines) is shown (lines), where a line '...' stands for any lines."""
    if not shown:
        return not printed
    if shown[0] == "...":
        return any(matches(shown[1:], printed[k:]) for k in range(len(printed) + 1))
    return bool(printed) and printed[0] == shown[0] and matches(shown[1:], printed[1:])


def check_examples(cli, repo):
    problems = []
    text = read(os.path.join(repo, "README.md"))
    try:
        blocks = console_blocks(text)
    except ValueError as e:
        return ["README.md: %s" % e]
    if not blocks:
        return ["README.md: no ```console examples"]
    scratch = tempfile.mkdtemp(prefix="brindlecap-docs.")
    try:
        bin_dir = os.path.join(scratch, "bin")
        os.mkdir(bin_dir)
        os.symlink(os.path.abspath(cli), os.path.join(bin_dir, "brindlecap-cli"))
        work = os.path.join(scratch, "work")
        os.mkdir(work)
        os.symlink(os.path.join(os.path.abspath(repo), "tests"), os.path.join(work, "tests"))
        env = dict(os.environ)
        env["PATH"] = bin_dir + os.pathsep + env.get("PATH", "")
        env["LC_ALL"] = "C.UTF-8"
        for steps in blocks:
            for command, shown in steps:
                done = subprocess.run(["bash", "-c", command], cwd=work, env=env,
                                      capture_output=True, timeout=300)
                printed = done.stdout.decode("utf-8", "replace").split("\n")
                if printed and printed[-1] == "":
                    printed.pop()
                if done.returncode != 0:
                    problems.append("README.md: `%s` exited with %d: %s" % (
                        command, done.returncode, done.stderr.decode("utf-8", "replace").strip()))
                elif shown and not matches(shown, printed):
                    problems.append("README.md: `%s` printed\n%s\nwhere the README shows\n%s" % (
                        command, "\n".join(printed), "\n".join(shown)))
    finally:
        shutil.rmtree(scratch)
    return problems


def main(argv):
    fill = "--fill" in argv
    args = [a for a in argv if a != "--fill"]
    if len(args) != 2:
        print(__doc__.strip())
        return 2
    cli, repo = os.path.abspath(args[0]), os.path.abspath(args[1])
    if fill:
        problems = check_help(cli, repo, True)
    else:
        problems = check_links(repo) + check_help(cli, repo, False) + check_examples(cli, repo)
    for problem in problems:
        print("FAIL: " + problem)
    if not problems:
        print("documentation: links, help texts and README examples agree")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
