// The page's look: the threads to pick from, the steps taken, the
// properties, the lap and the state tables, drawn afresh after every move
// from the model's state (explore_page.js).
function el(tag, attrs, ...children) {
    const e = document.createElement(tag);
    Object.assign(e, attrs || {});
    for (const c of children)
        e.append(c);
    return e;
}

function stateTable(G, node, before, heading) {
    const box = el('div', {}, el('h2', {}, heading));
    if (node === -1 || node === undefined) {
        box.append(el('p', {}, node === -1 ? 'The run has ended.' : 'It cannot take this step.'));
        return box;
    }
    const now = texts(G, node), old = before >= 0 ? texts(G, before) : now;
    const cell = (i, cls) =>
        el('td', {className: (cls || '') + (now[i] !== old[i] ? ' changed' : '')}, now[i]);
    const threads =
        el('table', {},
           el('tr', {}, el('th', {}, 'thread'), el('th', {}, 'next call'),
              ...G.threadColumns.map((c) => el('th', {}, c))));
    G.threads.forEach((name, t) => {
        threads.append(
            el('tr', {}, el('th', {}, `${t} ${name}`), cell(t * COLS, 'call'),
               ...G.threadColumns.map((c, j) => cell(t * COLS + 1 + j, c === 'why' ? 'why' : ''))));
    });
    const rows = el('table', {});
    G.rows.forEach(
        (r, j) => rows.append(
            el('tr', {}, el('th', {}, r.name), cell(G.threads.length * COLS + j, 'text'))));
    box.append(threads, rows);
    return box;
}

function render() {
    const node = nodeAt(at);
    document.body.dataset.node = node;
    document.body.dataset.at = at;
    $('title').textContent = D.title;
    const buttons = $('threads');
    buttons.replaceChildren();
    D.threads.forEach((name, t) => {
        const can =
            node !== -1 && ((bitsOf(D, node) >>> t) & 1) && stepTo(D, node, t) !== undefined;
        const b =
            el('button', {disabled: !can, onclick: () => choose(t)},
               `${t} ${name}: ${node === -1 ? '' : next(D, node, t)}`);
        b.dataset.thread = t;
        if (!can && node !== -1)
            b.append(el('span', {className: 'reason'}, reason(node, t)));
        buttons.append(b);
    });
    const peer = P ? alongPeer() : {nodes: [], parted: -1};
    const list = $('steps');
    if (listed !== path) {
        // Made again only when the steps change; moving along them only
        // marks another one.
        listed = path;
        list.replaceChildren(...path.map((s, k) => {
            const li =
                el('li', {
                    onclick: () => {
                        at = k + 1;
                        render();
                    }
                },
                   `${D.threads[s.thread]}: ${next(D, nodeAt(k), s.thread)}`);
            li.dataset.step = k;
            const broken = breaks(k);
            li.classList.toggle('broken', broken !== undefined);
            li.classList.toggle('parted', k === peer.parted);
            if (broken !== undefined)
                li.title = `${D.properties[broken].name} broken here`;
            if (k === peer.parted)
                li.title = `here the ${P.title.toLowerCase()} and this one part`;
            return li;
        }));
    }
    [...list.children].forEach((li, k) => {
        li.classList.toggle('current', k === at - 1);
        li.classList.toggle('after', k >= at);
        li.classList.toggle('lap', lap !== null && k >= lap.start && k < lap.start + lap.length);
    });
    const current = list.querySelector('.current');
    if (current)
        current.scrollIntoView({block: 'nearest'});
    renderProperties(node);
    renderLap();
    $('mine').replaceChildren(
        stateTable(D, node, at > 0 ? nodeAt(at - 1) : -1, `After step ${at - 1}: ${D.title}`));
    $('theirs').replaceChildren();
    if (P) {
        const theirs = at < peer.nodes.length ? peer.nodes[at] : undefined;
        const before = at > 0 && at - 1 < peer.nodes.length ? peer.nodes[at - 1] : -1;
        const side = stateTable(P, theirs, before, `The same steps: ${P.title}`);
        side.append(
            el('p', {id: 'parting'},
               peer.parted < 0 ? 'The two have not parted.' : `They part at step ${peer.parted}.`));
        $('theirs').append(side);
    }
    const text = choices(at);
    $('command').value = D.command.replace('{}', text);
    // The fragment follows a moment later, once the steps stop: browsers
    // refuse a page that replaces its address too often.
    clearTimeout(hashTimer);
    hashTimer = setTimeout(() => {
        const hash = `#scene=${D.name}&replay=${encodeURIComponent(text)}`;
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
    $('again').hidden = !(lap && at === path.length && node === D.properties[lap.prop].entry);
}

function renderProperties(node) {
    const ul = $('properties');
    ul.replaceChildren();
    const f = D.figures;
    D.properties.forEach((p, i) => {
        const here = failState.get(node) === i || (at > 0 && breaks(at - 1) === i) ||
            (p.cycle && p.lapNodes.has(node));
        const li = el('li', {}, el('b', {}, p.name), ': ');
        li.dataset.name = p.name;
        li.append(
            el('span', {className: 'status ' + (here ? 'bad' : 'ok')},
               here ? (p.cycle ? 'this state is on a fair cycle: ' : 'broken here: ') + p.what :
                      'holds in this state'),
            '. ');
        if (p.failures.length || p.cycle) {
            const label = p.failures.length ?
                `play the shortest failing schedule (${
                    follow(D, 0, p.choices).steps.length} steps)` :
                'play the shortest way to a fair cycle that breaks it, and one lap';
            li.append(
                el('a', {
                    href: '#',
                    className: 'play',
                    onclick: (e) => {
                        e.preventDefault();
                        play(i);
                    }
                },
                   label));
        } else {
            li.append(
                `No schedule breaks it: ${p.holds}, in all ${
                    f.states.toLocaleString('en')} states` +
                ` and ${f.transitions.toLocaleString('en')} transitions the search met` +
                (f.complete ? '.' : ' (not every state was explored).'));
        }
        ul.append(li);
    });
}

// Each thread's part in the lap: its steps, and in how many of the lap's
// states it could go on; a thread that could go on in all of them and took
// no step would make the lap unfair.
function renderLap() {
    const box = $('lapinfo');
    box.replaceChildren();
    if (!lap)
        return;
    const table =
        el('table', {},
           el('tr', {}, el('th', {}, 'thread'), el('th', {}, 'steps in the lap'),
              el('th', {}, 'states of the lap where it can go on')));
    D.threads.forEach((name, t) => {
        let steps = 0, can = 0;
        for (let k = lap.start; k < lap.start + lap.length; k++) {
            if (path[k].thread === t)
                steps++;
            if ((bitsOf(D, nodeAt(k)) >>> t) & 1)
                can++;
        }
        table.append(
            el('tr', {}, el('th', {}, `${t} ${name}`), el('td', {}, String(steps)),
               el('td', {}, `${can} of ${lap.length}`)));
    });
    box.append(
        el('h2', {},
           `The lap: steps ${lap.start} to ${lap.start + lap.length - 1}, ` +
               `back to the state after step ${lap.start - 1}, round ${lap.rounds}`),
        table);
}
