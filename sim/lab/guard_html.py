"""docs/GUARD.md as HTML for the lab's page: the Markdown it is written in
(headings, paragraphs, lists, tables, code blocks and spans, bold, links,
pictures, and its own <a id> marks), every anchor and link to one given the
prefix "guard-" so that the page's own ids stay apart; a picture, which the
page's content security policy would not load, is shown as its caption.
Anything else is text, escaped.

  guard_html(markdown) -> html
"""
import html
import re

PREFIX = "guard-"


def slug(heading):
    """A heading's anchor, as GitHub makes it."""
    return re.sub(r"[^a-z0-9 -]", "", heading.lower()).replace(" ", "-")


def inline(text):
    """A line's spans: code, bold, links, pictures and <a id> marks; the rest escaped."""
    out, at = [], 0
    spans = re.compile(r'`([^`]+)`|\*\*(.+?)\*\*|!\[([^\]]*)\]\(([^)]+)\)|\[([^\]]+)\]\(([^)]+)\)'
                       r'|<a id="([a-z0-9-]+)"></a>')
    for m in spans.finditer(text):
        out.append(html.escape(text[at:m.start()]))
        code, bold, alt, _, words, href, mark = m.groups()
        if code is not None:
            out.append(f"<code>{html.escape(code)}</code>")
        elif bold is not None:
            out.append(f"<b>{inline(bold)}</b>")
        elif alt is not None:
            out.append(f'<span class="picture">Picture: {html.escape(alt)}</span>')
        elif words is not None:
            target = PREFIX + href[1:] if href.startswith("#") else href
            out.append(f'<a href="{html.escape("#" + target if href.startswith("#") else target)}">'
                       f"{inline(words)}</a>")
        else:
            out.append(f'<span id="{PREFIX}{mark}"></span>')
        at = m.end()
    return "".join(out) + html.escape(text[at:])


def guard_html(markdown):
    lines = markdown.splitlines()
    out, i = [], 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
        elif line.startswith("```"):
            end = lines.index("```", i + 1) if "```" in lines[i + 1:] else len(lines)
            out.append("<pre><code>" + html.escape("\n".join(lines[i + 1:end])) + "</code></pre>")
            i = end + 1
        elif m := re.match(r"^(#{1,4}) (.*)$", line):
            level = min(len(m.group(1)) + 2, 6)  # under the lab's own section heading
            out.append(f'<h{level} id="{PREFIX}{slug(m.group(2))}">{inline(m.group(2))}</h{level}>')
            i += 1
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                if not re.match(r"^\|[-| :]+\|$", lines[i]):
                    rows.append([c.strip() for c in lines[i].strip("|").split("|")])
                i += 1
            head, *body = rows
            out.append("<table><tr>" + "".join(f"<th>{inline(c)}</th>" for c in head) + "</tr>" +
                       "".join("<tr>" + "".join(f"<td>{inline(c)}</td>" for c in r) + "</tr>"
                               for r in body) + "</table>")
        elif m := re.match(r"^(- |\d+\. )", line):
            tag = "ul" if line.startswith("- ") else "ol"
            items = []
            while i < len(lines) and (re.match(r"^(- |\d+\. )", lines[i]) or
                                      (lines[i].startswith("  ") and items)):
                if re.match(r"^(- |\d+\. )", lines[i]):
                    items.append(re.sub(r"^(- |\d+\. )", "", lines[i]))
                else:
                    items[-1] += " " + lines[i].strip()
                i += 1
            out.append(f"<{tag}>" + "".join(f"<li>{inline(t)}</li>" for t in items) + f"</{tag}>")
        else:
            para = []
            while i < len(lines) and lines[i].strip() and not re.match(
                    r"^(#|```|\||- |\d+\. )", lines[i]):
                para.append(lines[i].strip())
                i += 1
            out.append(f"<p>{inline(' '.join(para))}</p>")
    return "\n".join(out)
