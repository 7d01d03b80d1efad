'use strict';
// The guard's code beside a state: its sequences as the source file has
// them (GuardSourceJson's shape, sim/explore/guard_source.h), each thread's
// next line marked in the thread's colour with its name, and the lines a
// broken guard leaves out struck through. It needs nothing else of the
// page: give it the source and the marks, and it returns the element.

// Thread t's colour: dark enough for white text on it, and for a line's
// mark on white (at least 4.5:1 both).
const THREAD_COLOURS =
    ['#495057', '#1864ab', '#0b7285', '#a61e4d', '#5f3dc4', '#2b6a30', '#b3400c', '#862e9c'];
const threadColour = (t) => THREAD_COLOURS[t % THREAD_COLOURS.length];

// The file's line number of `call` ("gateEvent->ResetEvent()") in the
// sequence `name`, among the lines the guard has (not struck); where it
// makes the call twice, `later` picks the second. -1 if it has none.
function codeLineOf(source, name, call, later) {
    const s = source.sequences.find((q) => q.name === name);
    const lines = [];
    if (s) {
        s.text.forEach((text, i) => {
            if (!s.struck.includes(i) && text.trim() === call + ';')
                lines.push(s.line + i);
        });
    }
    return lines.length ? lines[later ? lines.length - 1 : 0] : -1;
}

// The code with `marks` ([{line, thread, name}]: the file's line each
// thread is stopped at) and `notes` (lines of text under it), drawn into
// `box`; the lines are made once per source, and later calls only move the
// marks.
function renderCode(box, source, marks, notes) {
    const make = (tag, cls, text) => {
        const e = document.createElement(tag);
        if (cls)
            e.className = cls;
        if (text !== undefined)
            e.textContent = text;
        return e;
    };
    if (box.codeSource !== source) {
        box.codeSource = source;
        box.className = 'code';
        const pre = make('pre');
        pre.setAttribute('aria-label', `the guard's code, ${source.file}`);
        box.codeLines = new Map();
        for (const s of source.sequences) {
            s.text.forEach((text, i) => {
                const n = s.line + i, struck = s.struck.includes(i);
                const row = make('span', 'line' + (struck ? ' struck' : ''));
                row.dataset.line = n;
                row.append(make('span', 'ln', String(n).padStart(3)));
                if (struck) {
                    const del = make('del', '', text);
                    del.title = 'left out by ' + source.leftOutBy;
                    row.append(del, make('span', 'gone', ' (left out)'));
                } else {
                    row.append(make('span', 'src', text));
                }
                box.codeLines.set(n, row);
                pre.append(row);
            });
            pre.append(make('span', 'gap'));
        }
        box.codeNotes = make('div');
        box.replaceChildren(pre, box.codeNotes);
        if (source.leftOutBy) {
            box.append(make(
                'p', 'codenote',
                `Struck through: what this broken guard leaves out (${source.leftOutBy}).`));
        }
    }
    for (const old of box.querySelectorAll('.marked')) {
        old.classList.remove('marked');
        old.style.borderLeftColor = '';
        for (const badge of old.querySelectorAll('.mark'))
            badge.remove();
    }
    for (const m of marks) {
        const row = box.codeLines.get(m.line);
        if (!row)
            continue;
        const badge = make('span', 'mark', `\u25c0 ${m.name}`);
        badge.dataset.thread = m.thread;
        badge.style.background = threadColour(m.thread);
        row.append(badge);
        row.classList.add('marked');
        row.style.borderLeftColor = threadColour(m.thread);
    }
    box.codeNotes.replaceChildren(...(notes || []).map((note) => make('p', 'codenote', note)));
    return box;
}
