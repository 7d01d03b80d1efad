"""What the browser check reads besides the browser: an explorer page's data,
the page's walk along choices, and the functions of the guard's source
files."""
import json


def page_data(docs, page):
    """The data a page holds (sim/explore/explore_page.h)."""
    text = (docs / page).read_text(encoding="utf-8")
    start = text.index(">", text.index('<script id="data"')) + 1
    return json.loads(text[start:text.index("</script>", start)])


def threads_in(hexset):
    """The thread numbers, ascending, of a set of threads as the data writes
    it: the bits of their numbers in hexadecimal."""
    bits = int(hexset, 16)
    return [t for t in range(bits.bit_length()) if bits >> t & 1]


def steps_of(data, choices):
    """The number of steps the page's walk takes along the choices (as its script does)."""
    node, k, steps = 0, 0, 0
    while node != -1:
        enabled, edges = threads_in(data["nodes"][node][0]), data["nodes"][node][1]
        if len(enabled) > 1:
            if k == len(choices):
                break
            thread, k = choices[k], k + 1
        else:
            thread = enabled[-1] if enabled else -1  # none: a deadlock
        targets = [edges[i + 1] for i in range(0, len(edges), 2) if edges[i] == thread]
        if not targets:
            break
        node, steps = targets[0], steps + 1
    return steps


def function_at(lines, opening):
    """The 1-based numbers of the lines of the function or struct opened by `opening`."""
    first = next(n for n, line in enumerate(lines) if line.strip() == opening)
    indent = lines[first][:len(lines[first]) - len(lines[first].lstrip())]
    last = next(n for n in range(first + 1, len(lines)) if lines[n] in (indent + "}", indent + "};"))
    return range(first + 1, last + 2)


def statements(lines):
    return [s.strip() for s in lines if s.strip() and not s.strip().startswith("//")]


def broken_body(lines):
    """The lines of a broken guard's WriterArrives, in its text (sim/guards/texts/)."""
    return [lines[n - 1] for n in function_at(lines, "void ReadWriteGuard::WriterArrives() {")]
