// One side of the explorer page: the state of a guard at a node, as the
// guard's code with each thread's line marked, and tables of each thread's
// texts and the rows', made once and changed cell by cell.
const ExploreSide = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const {threadColour, codeLineOf, renderCode} = ExploreCode;
    const {texts, columns, next, rowText} = ExploreGraph;

    // GUARD.md's item for a "why" text led by its sequence and number
    // ("WriterArrives, step 3: ..."), as a link to it.
    function why(text) {
        const m = /^((Reader|Writer)(Arrives|Leaves)), step (\d+): ([^]*)$/.exec(text);
        if (!m)
            return text;
        const id = `${m[2]}-${m[3]}-${m[4]}`.toLowerCase();
        return el(
            'span', {}, el('a', {href: `GUARD.md#${id}`}, `${m[1]}, step ${m[4]}`), `: ${m[5]}`);
    }

    const column = (G, name) => 1 + G.threadColumns.indexOf(name);

    // Each thread's line in G's code at `node`, and who is inside, drawn into
    // `box`. Where the data gives a thread's line ("line 12", or "line 12
    // (pool)" on a session's page: a guard text's page, whose text may make
    // one call twice), that is the line; else a thread's
    // sequence is its place ("in WriterArrives"), or on a session's page the
    // item of GUARD.md its next call is ("WriterArrives, step 3: "), whose
    // calls name their guard ("pool countMutex->Lock()"), and its line the
    // one that makes its next call.
    function codeView(box, G, node) {
        const marks = [], inside = [], cols = columns(G);
        const all = texts(G, node), place = column(G, 'place'), said = column(G, 'why');
        const lineColumn = column(G, 'line');
        G.threads.forEach((name, t) => {
            const where = place > 0 ? all[t * cols + place] : '';
            const item = /^(\w+), step (\d+): /.exec(all[t * cols + said] || '');
            const call = /^(?:(pool|list) )?(.*)$/.exec(next(G, node, t));
            const sequence = place > 0 ? (/^in (\w+)/.exec(where) || [])[1] : item && item[1];
            const given = lineColumn > 0 ?
                /^line (\d+)(?: \((\w+)\))?$/.exec(all[t * cols + lineColumn] || '') :
                null;
            if (given) {
                marks.push({
                    line: Number(given[1]),
                    thread: t,
                    name: [name, given[2]].filter(Boolean).join(', ')
                });
            } else if (sequence) {
                const later = item ? item[1] === 'WriterArrives' && item[2] === '3' :
                                     rowText(G, node, 'writerMutex') === 'held by ' + name;
                const line = codeLineOf(G.code, sequence, call[2], later);
                if (line >= 0)
                    marks.push({line, thread: t, name: call[1] ? `${name}, ${call[1]}` : name});
            } else if (where.startsWith('inside')) {
                inside.push(`${name} (${where.replace(/^inside, /, '')})`);
            } else if (
                place === 0 && column(G, 'inside') > 0 && all[t * cols + column(G, 'inside')]) {
                inside.push(`${name} (${all[t * cols + column(G, 'inside')]})`);
            }
        });
        return renderCode(
            box, G.code, marks,
            [inside.length ? `Inside, between the sequences: ${inside.join(', ')}.` :
                             'Nobody is inside.']);
    }

    // A side's tables, made once; a step changes only their cells.
    function makeTables(side, G) {
        const cell = (cls) => {
            const td = el('td', {className: cls});
            side.cells.push(td);
            side.shown.push(undefined);
            return td;
        };
        const threads =
            el('table', {},
               el('tr', {}, el('th', {}, 'thread'), el('th', {}, 'next call'),
                  ...G.threadColumns.map((c) => el('th', {}, c))));
        G.threads.forEach((name, t) => {
            const head = el('th', {}, `${t} ${name}`);
            head.style.borderLeft = `6px solid ${threadColour(t)}`;
            threads.append(
                el('tr', {}, head, cell('call'),
                   ...G.threadColumns.map((c) => cell(c === 'why' ? 'why' : ''))));
        });
        const rows = el('table', {});
        G.rows.forEach((r) => rows.append(el('tr', {}, el('th', {}, r.name), cell('text'))));
        side.tables = [threads, rows];
    }

    // One side's state: a heading, why it could not follow (the peer), the
    // code, kept from one step to the next, and the tables.
    function renderSide(page, id, G, node, before, heading, blocked) {
        const box = $(id);
        let side = page.view.sides.get(id);
        if (!side) {
            side = {
                parts: {
                    head: el('h2'),
                    blocked: el('p', {className: 'blocked'}),
                    code: el('div'),
                    state: el('div')
                },
                cells: [],
                shown: [],  // each cell's text as drawn
                tables: null
            };
            page.view.sides.set(id, side);
            box.replaceChildren(...Object.values(side.parts));
            box.setAttribute('role', 'region');
        }
        const {head, code, state} = side.parts;
        head.textContent = heading;
        box.setAttribute('aria-label', heading);
        side.parts.blocked.textContent = blocked || '';
        side.parts.blocked.hidden = !blocked;
        const ended = node === -1 || node === undefined;
        code.hidden = ended || !G.code;
        if (!code.hidden)
            codeView(code, G, node);
        if (ended) {
            state.replaceChildren(
                el('p', {}, node === -1 ? 'The run has ended.' : 'It cannot take this step.'));
            return state;
        }
        const now = texts(G, node), old = before >= 0 ? texts(G, before) : now;
        if (!side.tables)
            makeTables(side, G);
        if (state.firstChild !== side.tables[0])
            state.replaceChildren(...side.tables);
        side.cells.forEach((td, i) => {
            if (side.shown[i] !== now[i]) {
                side.shown[i] = now[i];
                td.replaceChildren(td.classList.contains('why') ? why(now[i]) : now[i]);
            }
            td.classList.toggle('changed', now[i] !== old[i]);
        });
        for (const extra of [...state.children].slice(2))
            extra.remove();
        return state;
    }

    return Object.freeze({render: renderSide});
})();
