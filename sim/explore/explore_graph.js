// What a page's data says of its states (sim/explore/explore_page.h): who
// can go on, where each thread's step leads, each state's texts, walks along
// choices, and why a thread cannot go on. G is the page's data or its peer's;
// nothing here keeps more than a cache of texts.
const ExploreGraph = (() => {
    'use strict';

    // The threads that can go on at a state, which the data gives as their
    // numbers, ascending: whether t is one, how many, and the highest.
    const Enabled = Object.freeze({
        has: (G, node, t) => G.nodes[node][0].includes(t),
        count: (G, node) => G.nodes[node][0].length,
        highest: (G, node) => G.nodes[node][0][G.nodes[node][0].length - 1],
    });

    // A state's texts, each thread's and then the rows', made once per state.
    const textCache = new WeakMap();
    function texts(G, node) {
        let made = textCache.get(G);
        if (!made)
            textCache.set(G, (made = new Map()));
        if (!made.has(node))
            made.set(node, G.nodes[node][2].flatMap((g) => G.groups[g].map((i) => G.strings[i])));
        return made.get(node);
    }
    // The number of texts a thread has in a state: its next call, then its columns.
    const columns = (G) => 1 + G.threadColumns.length;
    const next = (G, node, t) => texts(G, node)[t * columns(G)];
    // A row's text ("held by reader 1") at a state.
    const rowText = (G, node, name) =>
        texts(G, node)[G.threads.length * columns(G) + G.rows.findIndex((r) => r.name === name)];

    // Where the thread's step from the node leads: a node, -1 for the run's end,
    // undefined when the search took no such step.
    function stepTo(G, node, t) {
        const steps = G.nodes[node][1];
        for (let i = 0; i < steps.length; i += 2)
            if (steps[i] === t)
                return steps[i + 1];
        return undefined;
    }

    // Follows choices (one per state where more than one thread can go on) from
    // a node, taking the single step wherever only one thread can; stops at the
    // choice point after the last choice, as --replay does. Every walk along
    // choices on the page is this one.
    function follow(G, from, choices) {
        const steps = [];
        let node = from, k = 0, note = '';
        while (node !== -1 && steps.length < 100000) {
            let t;
            if (Enabled.count(G, node) > 1) {
                if (k === choices.length)
                    break;
                t = choices[k++];
                if (!Enabled.has(G, node, t)) {
                    note = `choice ${k - 1}: ${G.threads[t] || t} cannot go on here`;
                    break;
                }
            } else {
                t = Enabled.highest(G, node);
            }
            const to = stepTo(G, node, t);
            if (to === undefined)
                break;  // a broken state: the search went no further
            steps.push({thread: t, to});
            node = to;
        }
        if (!note && k < choices.length)
            note = `${choices.length - k} choice(s) left over`;
        return {steps, note, end: node};
    }

    // Why a thread cannot go on at `node` of G: what it waits at and who holds
    // or reset it. `before(j)` gives the j-th step that led there ({node,
    // thread}, or null), for j below `steps`.
    function reason(G, node, t, before, steps) {
        const call = next(G, node, t);
        if (Enabled.has(G, node, t) && stepTo(G, node, t) === undefined)
            return 'the search stops at a broken state: it was not followed further';
        const m = /^(.*)->Lock\(\)$/.exec(call);
        const row = m ? G.rows.findIndex((r) => r.name === m[1]) : -1;
        if (row >= 0 && G.rows[row].kind === 'mutex')
            return `waits for ${m[1]}, ${rowText(G, node, m[1])}`;
        if (row >= 0 && G.rows[row].kind === 'event') {
            for (let j = steps - 1; j >= 0; j--) {
                const b = before(j);
                if (b && next(G, b.node, b.thread) === m[1] + '->ResetEvent()')
                    return `waits at ${m[1]}, reset by ${G.threads[b.thread]}`;
            }
            return `waits at ${m[1]}, which is reset`;
        }
        if (m && row < 0)
            return `waits for ${m[1]}`;
        if (call === 'not started' || call === 'ended')
            return call;
        if (call === 'SleepMs()')
            return 'sleeps';
        if (call === 'reads input')
            return 'waits for input';
        return 'cannot go on';
    }

    return Object.freeze({Enabled, texts, columns, next, rowText, stepTo, follow, reason});
})();
