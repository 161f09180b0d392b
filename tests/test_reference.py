"""docs/reference.md and README's tour cannot go stale: the examples print what they show; each public member
has a section; the tour, run top to bottom, gives the result each of its comments states."""

import ast
import doctest
import io
import re
import tokenize
from pathlib import Path

import pytest

import kalvor
from kalvor import geometry

REFERENCE = Path(__file__).resolve().parents[1] / "docs" / "reference.md"
README = (REFERENCE.parents[1] / "README.md").read_text(encoding="utf-8")
TEXT = REFERENCE.read_text(encoding="utf-8")
BLOCKS = [(TEXT.count("\n", 0, m.start(1)), m.group(1)) for m in re.finditer(r"^```pycon\n(.*?)^```$", TEXT, re.S | re.M)]
PUBLIC = {name: getattr(module, name) for module in (kalvor, geometry) for name in module.__all__}


@pytest.mark.parametrize(("line", "source"), BLOCKS, ids=[f"line {line + 1}" for line, _ in BLOCKS])
def test_example_prints_what_the_page_shows(line, source):
    example = doctest.DocTestParser().get_doctest(source, dict(PUBLIC, kalvor=kalvor), f"reference.md, line {line + 1}", str(REFERENCE), line)
    runner, report = doctest.DocTestRunner(optionflags=doctest.REPORT_UDIFF), []
    runner.run(example, out=report.append, clear_globs=True)
    assert runner.failures == 0, "".join(report)


def test_every_public_member_has_a_section():
    # A heading covers `Class.member`, or `member` under the class's own heading.
    covered, current = set(), None
    for heading in re.findall(r"^#{2,4} (.*)$", TEXT, re.M):
        if re.fullmatch(r"\w+", heading):
            current = heading
        for qualifier, member in re.findall(r"`(?:(\w+)\.)?(\w+)", heading):
            covered |= {(qualifier or current, member), (None, member)}
    members = [(None, name) for name, item in PUBLIC.items() if callable(item) and not isinstance(item, type)]
    members += [(cls.__name__, m) for cls in PUBLIC.values() if isinstance(cls, type) for m in vars(cls) if not m.startswith("_")]
    missing = [f"{cls}.{member}" if cls else member for cls, member in members if (cls, member) not in covered]
    assert not missing, f"docs/reference.md has no section for {missing}"
    assert len(BLOCKS) > 50


def test_readme_tour_runs_top_to_bottom_as_commented():
    """A comment on an expression states its repr up to the first ": " or "; " (prose after it; "..." elides),
    unless it starts with a lower-case word, which makes it prose only."""
    tour = re.search(r"^## A short tour\n\n```python\n(.*?)^```$", README, re.S | re.M).group(1)
    comments = {t.start[0]: t.string[1:].strip() for t in tokenize.generate_tokens(io.StringIO(tour).readline)
                if t.type == tokenize.COMMENT}
    scope, checked = {}, 0
    for statement in ast.parse(tour).body:
        code, comment = ast.get_source_segment(tour, statement), comments.get(statement.end_lineno, "")
        if not isinstance(statement, ast.Expr) or not comment or re.match(r"[a-z]+ ", comment):
            exec(compile(code, "README tour", "exec"), scope)
            continue
        stated = re.split(r": |; ", comment)[0] if not comment.startswith("'") else comment[: comment.index("'", 1) + 1]
        got = repr(eval(compile(code, "README tour", "eval"), scope))
        assert re.fullmatch(".*?".join(map(re.escape, stated.split("..."))), got), f"{code}: {got}, not {stated}"
        checked += 1
    assert checked >= 25
