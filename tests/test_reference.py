"""docs/reference.md cannot go stale: every example in it runs and prints exactly what the
page shows, and every public member of the module has a section."""

import doctest
import re
from pathlib import Path

import pytest

import kalvor
from kalvor import geometry

REFERENCE = Path(__file__).resolve().parents[1] / "docs" / "reference.md"
TEXT = REFERENCE.read_text(encoding="utf-8")
BLOCKS = [(TEXT.count("\n", 0, m.start(1)), m.group(1)) for m in re.finditer(r"^```pycon\n(.*?)^```$", TEXT, re.S | re.M)]


def scope():
    names = {name: getattr(kalvor, name) for name in kalvor.__all__}
    names.update({name: getattr(geometry, name) for name in geometry.__all__})
    names["kalvor"] = kalvor
    return names


@pytest.mark.parametrize(("line", "source"), BLOCKS, ids=[f"line {line + 1}" for line, _ in BLOCKS])
def test_example_prints_what_the_page_shows(line, source):
    example = doctest.DocTestParser().get_doctest(source, scope(), f"reference.md, line {line + 1}", str(REFERENCE), line)
    report = []
    runner = doctest.DocTestRunner(optionflags=doctest.REPORT_UDIFF)
    runner.run(example, out=report.append, clear_globs=True)
    assert runner.failures == 0, "".join(report)


def public_members():
    for module in (kalvor, geometry):
        for name in module.__all__:
            item = getattr(module, name)
            if isinstance(item, type):
                yield from ((item.__name__, member) for member in vars(item) if not member.startswith("_"))
            elif callable(item):
                yield None, name


def test_every_public_member_has_a_section():
    # A member is covered by a heading that names it, as `Class.member` or, under the
    # class's own heading, as `member`.
    covered = set()
    current = None
    for heading in re.findall(r"^#{2,4} (.*)$", TEXT, re.M):
        if re.fullmatch(r"\w+", heading):
            current = heading
        for qualifier, member in re.findall(r"`(?:(\w+)\.)?(\w+)", heading):
            covered.add((qualifier or current, member))
            covered.add((None, member))
    missing = [f"{cls}.{member}" if cls else member for cls, member in public_members() if (cls, member) not in covered]
    assert not missing, f"docs/reference.md has no section for {missing}"
    assert len(BLOCKS) > 50
