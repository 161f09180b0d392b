"""docs/reference.md cannot go stale: its examples print what it shows; each public member has a section."""

import doctest
import re
from pathlib import Path

import pytest

import kalvor
from kalvor import geometry

REFERENCE = Path(__file__).resolve().parents[1] / "docs" / "reference.md"
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
