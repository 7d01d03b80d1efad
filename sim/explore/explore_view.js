// The page's look: the threads to pick from, the steps taken, the
// properties, the lap, the code and the state tables, drawn after every
// move from the model's state (explore_page.js). Controls that stay are
// changed in place, so that the one in use keeps the focus.
function el(tag, attrs, ...children) {
    const e = document.createElement(tag);
    Object.assign(e, attrs || {});
    for (const c of children)
        e.append(c);
    return e;
}

// GUARD.md's item for a "why" text led by its sequence and number
// ("WriterArrives, step 3: ..."), as a link to it.
function why(text) {
    const m = /^((Reader|Writer)(Arrives|Leaves)), step (\d+): ([^]*)$/.exec(text);
    if (!m)
        return text;
    const id = `${m[2]}-${m[3]}-${m[4]}`.toLowerCase();
    return el('span', {}, el('a', {href: `GUARD.md#${id}`}, `${m[1]}, step ${m[4]}`), `: ${m[5]}`);
}

const column = (G, name) => 1 + G.threadColumns.indexOf(name);
const rowText = (G, node, name) =>
    texts(G, node)[G.threads.length * COLS + G.rows.findIndex((r) => r.name === name)];

// Each thread's line in G's code at `node`, and who is inside, drawn into
// `box`. A thread's sequence is its place ("in WriterArrives"), or on a
// session's page the item of GUARD.md its next call is ("WriterArrives,
// step 3: "), whose calls name their guard ("pool countMutex->Lock()").
function codeView(box, G, node) {
    const marks = [], inside = [];
    const all = texts(G, node), place = column(G, 'place'), said = column(G, 'why');
    G.threads.forEach((name, t) => {
        const where = place > 0 ? all[t * COLS + place] : '';
        const item = /^(\w+), step (\d+): /.exec(all[t * COLS + said] || '');
        const call = /^(?:(pool|list) )?(.*)$/.exec(next(G, node, t));
        const sequence = place > 0 ? (/^in (\w+)/.exec(where) || [])[1] : item && item[1];
        if (sequence) {
            const later = item ? item[1] === 'WriterArrives' && item[2] === '3' :
                                 rowText(G, node, 'writerMutex') === 'held by ' + name;
            const line = codeLineOf(G.code, sequence, call[2], later);
            if (line >= 0)
                marks.push({line, thread: t, name: call[1] ? `${name}, ${call[1]}` : name});
        } else if (where.startsWith('inside')) {
            inside.push(`${name} (${where.replace(/^inside, /, '')})`);
        } else if (place === 0 && column(G, 'inside') > 0 && all[t * COLS + column(G, 'inside')]) {
            inside.push(`${name} (${all[t * COLS + column(G, 'inside')]})`);
        }
    });
    return renderCode(box, G.code, marks, [
        inside.length ? `Inside, between the sequences: ${inside.join(', ')}.` : 'Nobody is inside.'
    ]);
}

// One side's state: a heading, why it could not follow (the peer), the
// code, kept from one step to the next, and the tables.
function renderSide(id, G, node, before, heading, blocked) {
    const side = $(id);
    if (!side.parts) {
        side.parts = {
            head: el('h2'),
            blocked: el('p', {className: 'blocked'}),
            code: el('div'),
            state: el('div')
        };
        side.replaceChildren(...Object.values(side.parts));
        side.setAttribute('role', 'region');
    }
    const {head, code, state} = side.parts;
    head.textContent = heading;
    side.setAttribute('aria-label', heading);
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
    if (!side.cells) {
        // The tables are made once; a step changes only their cells.
        side.cells = [];
        const cell = (cls) => {
            const td = el('td', {className: cls});
            side.cells.push(td);
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
    if (state.firstChild !== side.tables[0])
        state.replaceChildren(...side.tables);
    side.cells.forEach((td, i) => {
        if (td.shown !== now[i]) {
            td.shown = now[i];
            td.replaceChildren(td.classList.contains('why') ? why(now[i]) : now[i]);
        }
        td.classList.toggle('changed', now[i] !== old[i]);
    });
    for (const extra of [...state.children].slice(2))
        extra.remove();
    return state;
}

// The thread buttons, made once: a blocked one stays focusable and says why.
const buttons = D.threads.map((name, t) => {
    const b = el('button', {onclick: () => choose(t)});
    b.dataset.thread = t;
    b.style.borderLeft = `6px solid ${threadColour(t)}`;
    $('threads').append(b);
    return b;
});

// The peer's title inside a sentence.
const peerName = () => P.title.replace(/^The /, 'the ');
const pageHash = () => `#scene=${D.name}&replay=${encodeURIComponent(choices(at))}`;
let shownCurrent = null, scrollFrame = 0;

function renderSteps(peer) {
    const list = $('steps');
    if (listed !== path) {
        // Made again only when the steps change; moving along them only
        // marks another one.
        listed = path;
        shownCurrent = null;
        list.replaceChildren(...path.map((s, k) => {
            const li =
                el('li', {tabIndex: -1, onclick: () => goTo(k + 1)},
                   `${D.threads[s.thread]}: ${next(D, nodeAt(k), s.thread)}`);
            li.onkeydown = (e) => {
                if (e.key === 'Enter' || e.key === ' ') {
                    goTo(k + 1);
                    e.preventDefault();
                } else if (e.key === 'ArrowUp' || e.key === 'ArrowDown') {
                    const to =
                        li[e.key === 'ArrowUp' ? 'previousElementSibling' : 'nextElementSibling'];
                    if (to)
                        to.focus();
                    e.preventDefault();
                    e.stopPropagation();
                }
            };
            li.dataset.step = k;
            const broken = breaks(k);
            li.classList.toggle('broken', broken !== undefined);
            li.classList.toggle('parted', k === peer.parted);
            if (broken !== undefined)
                li.append(
                    el('span', {className: 'tag'}, ` \u2014 ${D.properties[broken].name} broken`));
            if (k === peer.parted)
                li.append(el('span', {className: 'tag'}, ` \u2014 ${peerName()} parts here`));
            if (lap && k >= lap.start && k < lap.start + lap.length)
                li.classList.add('lap');
            return li;
        }));
    }
    const current = at > 0 ? list.children[at - 1] : null;
    if (shownCurrent !== current) {
        for (const li of list.querySelectorAll('.current'))
            li.classList.remove('current');
        if (current) {
            current.classList.add('current');
            // At the next frame, whose layout is done anyway, rather than
            // forcing one now in the middle of the step.
            cancelAnimationFrame(scrollFrame);
            scrollFrame = requestAnimationFrame(() => current.scrollIntoView({block: 'nearest'}));
        }
        shownCurrent = current;
    }
    // The first step, or the current one, is where the list takes the focus.
    const focusable = current || list.firstElementChild;
    for (const li of list.querySelectorAll('[tabindex="0"]'))
        if (li !== focusable)
            li.tabIndex = -1;
    if (focusable)
        focusable.tabIndex = 0;
    list.style.setProperty('--at', at);
    list.dataset.at = at;
}

function render() {
    const node = nodeAt(at);
    document.body.dataset.node = node;
    document.body.dataset.at = at;
    $('title').textContent = D.title;
    document.title = `${D.title}: be the scheduler (listpool)`;
    buttons.forEach((b, t) => {
        const can =
            node !== -1 && ((bitsOf(D, node) >>> t) & 1) && stepTo(D, node, t) !== undefined;
        b.setAttribute('aria-disabled', String(!can));
        b.replaceChildren(
            `${t} ${D.threads[t]}: ${node === -1 ? 'the run has ended' : next(D, node, t)}`);
        if (!can && node !== -1)
            b.append(el('span', {className: 'reason'}, reason(D, node, t, myStep, at)));
    });
    const peer = P ? alongPeer() : {nodes: [], skipped: [], parted: -1};
    renderSteps(peer);
    renderProperties(node);
    renderLap();
    renderSide(
        'mine', D, node, at > 0 ? nodeAt(at - 1) : -1,
        at === 0 ? `At the start: ${D.title}` : `After step ${at - 1}: ${D.title}`);
    if (P)
        renderPeer(peer);
    $('command').value = D.command.replace('{}', choices(at));
    // The fragment follows a moment later, once the steps stop: browsers
    // refuse a page that replaces its address too often.
    clearTimeout(hashTimer);
    hashTimer = setTimeout(() => {
        const hash = pageHash();
        if (location.hash === hash)
            return;
        try {
            history.replaceState(null, '', hash);
        } catch (e) {
            ownHash = hash;
            location.hash = hash;
        }
    }, 150);
    $('note').textContent = note;
    const again = lap && at === path.length && node === D.properties[lap.prop].entry;
    $('again').hidden = !lap;
    $('again').setAttribute('aria-disabled', String(!again));
    announce(node, peer);
}

// The correct guard on the same steps, and where it cannot follow, why.
function renderPeer(peer) {
    const theirs = peer.nodes[at], before = at > 0 ? peer.nodes[at - 1] : -1;
    let blocked = '';
    if (at > 0 && peer.skipped[at - 1]) {
        const t = path[at - 1].thread, from = peer.nodes[at - 1];
        blocked = from === -1 ?
            'Its run has ended.' :
            `It cannot take step ${at - 1}: ${P.threads[t]} ${
                reason(P, from, t, peerStep(peer), at - 1)}. It stays where it was.`;
    }
    const state = renderSide('theirs', P, theirs, before, `The same threads: ${P.title}`, blocked);
    state.append(
        el('p', {id: 'parting'},
           peer.parted < 0 ? 'The two have not parted.' :
               at <= peer.parted ?
                             `They part at step ${peer.parted}.` :
                             `They parted at step ${peer.parted}; since then ${
                                 peerName()} takes the same threads' next calls where it can (${
                                 peer.skipped.slice(peer.parted, at).filter((s) => !s).length} of ${
                                 at - peer.parted}).`));
}

// Says what the step did, in the live region.
function announce(node, peer) {
    const parts =
        [at === 0 ? 'At the start.' :
                    `Step ${at - 1}: ${D.threads[path[at - 1].thread]}, ${
                        next(D, nodeAt(at - 1), path[at - 1].thread)}.`];
    const broken = at > 0 ? breaks(at - 1) : undefined;
    if (broken !== undefined)
        parts.push(`${D.properties[broken].name} broken here.`);
    if (P && at > 0 && peer.skipped[at - 1])
        parts.push(`On ${peerName()} it cannot be taken.`);
    parts.push(
        node === -1 ? 'The run has ended.' : `${count(bitsOf(D, node))} thread(s) can go on.`);
    $('announce').textContent = parts.join(' ');
}
