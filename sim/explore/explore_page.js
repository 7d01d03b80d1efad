'use strict';
// The page's data: the state graph the search met, each state's texts, the
// properties with their shortest schedules (sim/explore_page.h).
const D = JSON.parse(document.getElementById('data').textContent);
const P = JSON.parse(document.getElementById('peer').textContent);  // set beside it, or null
const COLS = 1 + D.threadColumns.length;
const $ = (id) => document.getElementById(id);

const bitsOf = (G, node) => G.nodes[node][0];
const count = (bits) => {
    let n = 0;
    for (; bits; bits &= bits - 1)
        n++;
    return n;
};
// A state's texts, each thread's and then the rows', made once per state.
const textCache = new Map();
function texts(G, node) {
    const key = (G === D ? 'd' : 'p') + node;
    if (!textCache.has(key))
        textCache.set(key, G.nodes[node][2].flatMap((g) => G.groups[g].map((i) => G.strings[i])));
    return textCache.get(key);
}
const next = (G, node, t) => texts(G, node)[t * COLS];
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
// choice point after the last choice, as --replay does.
function follow(G, from, choices) {
    const steps = [];
    let node = from, k = 0, note = '';
    while (node !== -1 && steps.length < 100000) {
        const bits = bitsOf(G, node);
        let t;
        if (count(bits) > 1) {
            if (k === choices.length)
                break;
            t = choices[k++];
            if (!((bits >>> t) & 1)) {
                note = `choice ${k - 1}: ${G.threads[t] || t} cannot go on here`;
                break;
            }
        } else {
            t = 31 - Math.clz32(bits);
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

// Where each property breaks: states, ends of failed runs, and lap states.
const failState = new Map(), failEnd = new Map();
D.properties.forEach((p, i) => {
    for (const f of p.failures) {
        const [node, thread] = D.failures[f];
        if (thread < 0)
            failState.set(node, i);
        else
            failEnd.set(node + ':' + thread, i);
    }
    if (p.cycle) {
        const before = follow(D, 0, p.prefix);
        p.entry = before.end;
        p.lapNodes = new Set([before.end, ...follow(D, before.end, p.lap).steps.map((s) => s.to)]);
    }
});

let path = [];   // the steps taken: {thread, to}
let at = 0;      // how many of them are shown
let lap = null;  // {prop, start, length} once a fair cycle was played
let note = '';
let ownHash = '';  // a fragment the page set itself, where it cannot replace it
let hashTimer = 0;
let listed = null;                     // the steps the list shows
let peerFor = null, peerAlong = null;  // the peer's walk along those steps

const nodeAt = (k) => (k === 0 ? 0 : path[k - 1].to);
const breaks = (k) => {
    const to = path[k].to;
    return to === -1 ? failEnd.get(nodeAt(k) + ':' + path[k].thread) : failState.get(to);
};
function choices(upTo) {
    const list = [];
    for (let k = 0; k < upTo; k++)
        if (count(bitsOf(D, nodeAt(k))) > 1)
            list.push(path[k].thread);
    return list.join(' ');
}

// Why a thread cannot go on: what it waits at and who holds or reset it.
function reason(node, t) {
    const call = next(D, node, t);
    if (((bitsOf(D, node) >>> t) & 1) && stepTo(D, node, t) === undefined) {
        return 'the search goes no further from a broken state';
    }
    const m = /^(.*)->Lock\(\)$/.exec(call);
    const row = m ? D.rows.findIndex((r) => r.name === m[1]) : -1;
    if (row >= 0 && D.rows[row].kind === 'mutex') {
        return `waits for ${m[1]}, ${texts(D, node)[D.threads.length * COLS + row]}`;
    }
    if (row >= 0 && D.rows[row].kind === 'event') {
        for (let j = at - 1; j >= 0; j--) {
            if (next(D, nodeAt(j), path[j].thread) === m[1] + '->ResetEvent()') {
                return `waits at ${m[1]}, reset by ${D.threads[path[j].thread]}`;
            }
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

// The same steps on the peer: its node after each, and the first step
// where the two part (the peer cannot take it, or the states differ).
function alongPeer() {
    if (peerFor !== path) {
        peerFor = path;
        peerAlong = walkPeer();
    }
    return peerAlong;
}
function walkPeer() {
    const nodes = [0];
    let parted = -1;
    for (let k = 0; k < path.length && parted < 0; k++) {
        const from = nodes[k];
        const to = from === -1 ? undefined : stepTo(P, from, path[k].thread);
        if (to === undefined) {
            parted = k;
            break;
        }
        nodes.push(to);
        const mine = path[k].to, theirs = to;
        if ((mine === -1) !== (theirs === -1) ||
            (mine !== -1 && texts(D, mine).join('\n') !== texts(P, theirs).join('\n')))
            parted = k;
    }
    return {nodes, parted};
}

function choose(t) {
    const to = stepTo(D, nodeAt(at), t);
    if (to === undefined || !((bitsOf(D, nodeAt(at)) >>> t) & 1))
        return;
    if (!(at < path.length && path[at].thread === t)) {
        path = path.slice(0, at);
        path.push({thread: t, to});
        if (lap && at < lap.start + lap.length)
            lap = null;
    }
    at++;
    note = '';
    render();
}

function play(i) {
    const p = D.properties[i];
    if (p.cycle) {
        const before = follow(D, 0, p.prefix), round = follow(D, before.end, p.lap);
        path = before.steps.concat(round.steps);
        lap = {prop: i, start: before.steps.length, length: round.steps.length, rounds: 1};
        note = before.note || round.note;
    } else {
        const r = follow(D, 0, p.choices);
        path = r.steps;
        lap = null;
        note = r.note;
    }
    at = path.length;
    render();
}

function restore() {
    const params = new URLSearchParams(location.hash.slice(1));
    const text = params.get('replay') || '';
    const scene = params.get('scene');
    const r = follow(D, 0, text.trim() ? text.trim().split(/\s+/).map(Number) : []);
    path = r.steps;
    at = path.length;
    lap = null;
    note =
        scene && scene !== D.name ? `these choices are for the scene ${scene}; ${r.note}` : r.note;
    render();
}

$('back').onclick = () => {
    at = Math.max(0, at - 1);
    render();
};
$('forward').onclick = () => {
    at = Math.min(path.length, at + 1);
    render();
};
$('reset').onclick = () => {
    path = [];
    at = 0;
    lap = null;
    note = '';
    render();
};
$('again').onclick = () => {
    const round = follow(D, nodeAt(at), D.properties[lap.prop].lap);
    lap.start = path.length;
    lap.length = round.steps.length;
    lap.rounds++;
    path = path.concat(round.steps);
    at = path.length;
    render();
};
$('copy').onclick = () => {
    $('command').select();
    if (navigator.clipboard)
        navigator.clipboard.writeText($('command').value).catch(() => {});
    else
        document.execCommand('copy');
};
document.addEventListener('keydown', (e) => {
    if (e.target.tagName === 'INPUT')
        return;
    if (e.key === 'ArrowLeft')
        $('back').click();
    else if (e.key === 'ArrowRight')
        $('forward').click();
    else if (/^[0-9]$/.test(e.key))
        choose(Number(e.key));
    else
        return;
    e.preventDefault();
});
window.addEventListener('hashchange', () => {
    if (location.hash !== ownHash)
        restore();
});
restore();
performance.mark('explore-ready');  // for bench/explore_pages.py
