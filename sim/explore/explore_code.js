// The guard's code beside a state: its sequences as the source file has
// them (GuardSourceJson's shape, sim/explore/guard_source.h), each thread's
// next line marked in the thread's colour with its name, and the lines a
// broken guard leaves out struck through. It needs nothing else of the
// page: give it the source and the marks, and it returns the element.
const ExploreCode = (() => {
    'use strict';
    const {el} = PageKit;

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

    // Each box's code as drawn: {source, lines (the file's line number to
    // its row), notes}, so that a later call only moves the marks.
    const drawn = new WeakMap();

    function drawSource(box, source) {
        // A long line scrolls sideways rather than wrap mid-call: the box
        // takes the focus, so that the keyboard scrolls it too.
        const pre = el('pre', {tabIndex: 0});
        pre.setAttribute('role', 'region');
        pre.setAttribute('aria-label', `the guard's code, ${source.file}`);
        const lines = new Map();
        for (const s of source.sequences) {
            s.text.forEach((text, i) => {
                const n = s.line + i, struck = s.struck.includes(i);
                const row =
                    el('span', {className: 'line' + (struck ? ' struck' : '')},
                       el('span', {className: 'ln'}, String(n).padStart(3)));
                row.dataset.line = n;
                if (struck) {
                    row.append(
                        el('del', {title: 'left out by ' + source.leftOutBy}, text),
                        el('span', {className: 'gone'}, ' (left out)'));
                } else {
                    row.append(el('span', {className: 'src'}, text));
                }
                lines.set(n, row);
                pre.append(row);
            });
            pre.append(el('span', {className: 'gap'}));
        }
        const notes = el('div');
        box.className = 'code';
        box.replaceChildren(pre, notes);
        if (source.leftOutBy) {
            box.append(
                el('p', {className: 'codenote'},
                   `Struck through: what this broken guard leaves out (${source.leftOutBy}).`));
        }
        return {source, lines, notes};
    }

    // The code with `marks` ([{line, thread, name}]: the file's line each
    // thread is stopped at) and `notes` (lines of text under it), drawn into
    // `box`; the lines are made once per source, and later calls only move the
    // marks.
    function renderCode(box, source, marks, notes) {
        let code = drawn.get(box);
        if (!code || code.source !== source) {
            code = drawSource(box, source);
            drawn.set(box, code);
        }
        for (const old of box.querySelectorAll('.marked')) {
            old.classList.remove('marked');
            old.style.borderLeftColor = '';
            for (const badge of old.querySelectorAll('.mark'))
                badge.remove();
        }
        for (const m of marks) {
            const row = code.lines.get(m.line);
            if (!row)
                continue;
            const badge = el('span', {className: 'mark'}, `\u25c0 ${m.name}`);
            badge.dataset.thread = m.thread;
            badge.style.background = threadColour(m.thread);
            row.append(badge);
            row.classList.add('marked');
            row.style.borderLeftColor = threadColour(m.thread);
        }
        code.notes.replaceChildren(
            ...(notes || []).map((note) => el('p', {className: 'codenote'}, note)));
        return box;
    }

    return Object.freeze({threadColour, codeLineOf, renderCode});
})();
