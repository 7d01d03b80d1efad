'use strict';
// The page's data: the state graph the search met, each state's texts, the
// properties with their shortest schedules (sim/explore/explore_page.h).
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
// The property step k breaks, if none broke before it on the path: the
// program stays broken after, and the graph goes on past where it breaks.
const breaksAt = (k) => {
    const to = path[k].to;
    return to === -1 ? failEnd.get(nodeAt(k) + ':' + path[k].thread) : failState.get(to);
};
const breaks = (k) => {
    const broken = breaksAt(k);
    for (let j = 0; j < k && broken !== undefined; j++)
        if (breaksAt(j) === broken)
            return undefined;
    return broken;
};
function choices(upTo) {
    const list = [];
    for (let k = 0; k < upTo; k++)
        if (count(bitsOf(D, nodeAt(k))) > 1)
            list.push(path[k].thread);
    return list.join(' ');
}

// Why a thread cannot go on at `node` of G: what it waits at and who holds
// or reset it. `before(j)` gives the j-th step that led there ({node,
// thread}), for j below `steps`.
function reason(G, node, t, before, steps) {
    const call = next(G, node, t);
    if (((bitsOf(G, node) >>> t) & 1) && stepTo(G, node, t) === undefined)
        return 'the search stops at a broken state: it was not followed further';
    const m = /^(.*)->Lock\(\)$/.exec(call);
    const row = m ? G.rows.findIndex((r) => r.name === m[1]) : -1;
    if (row >= 0 && G.rows[row].kind === 'mutex')
        return `waits for ${m[1]}, ${texts(G, node)[G.threads.length * COLS + row]}`;
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
const myStep = (j) => ({node: nodeAt(j), thread: path[j].thread});

// The same steps on the peer: its node after each; a step whose thread
// cannot go on there is skipped (the peer stays), so that after the two
// part the peer goes on with the same threads' next calls where it can.
// `parted` is the first step it skips or after which the states differ.
function alongPeer() {
    if (peerFor !== path) {
        peerFor = path;
        peerAlong = walkPeer();
    }
    return peerAlong;
}
function walkPeer() {
    const nodes = [0], skipped = [];
    let parted = -1;
    for (let k = 0; k < path.length; k++) {
        const from = nodes[k];
        const to = from === -1 ? undefined : stepTo(P, from, path[k].thread);
        skipped.push(to === undefined);
        nodes.push(to === undefined ? from : to);
        const mine = path[k].to;
        if (parted < 0 &&
            (to === undefined || (mine === -1) !== (to === -1) ||
             (mine !== -1 && texts(D, mine).join('\n') !== texts(P, to).join('\n'))))
            parted = k;
    }
    return {nodes, skipped, parted};
}
const peerStep = (peer) => (j) => (
    peer.skipped[j] || peer.nodes[j] === -1 ? null : {node: peer.nodes[j], thread: path[j].thread});

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

// Moves to step k of the path (0: the start), as back, forward and a click
// on a step do.
function goTo(k) {
    at = Math.max(0, Math.min(path.length, k));
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
    at = text.trim() ? path.length : 0;  // a page opened plainly starts at its start
    lap = null;
    note =
        scene && scene !== D.name ? `these choices are for the scene ${scene}; ${r.note}` : r.note;
    render();
}

$('back').onclick = () => goTo(at - 1);
$('forward').onclick = () => goTo(at + 1);
$('reset').onclick = () => {
    path = [];
    lap = null;
    note = '';
    goTo(0);
};
$('again').onclick = () => {
    if (!lap || $('again').getAttribute('aria-disabled') === 'true')
        return;
    const round = follow(D, nodeAt(at), D.properties[lap.prop].lap);
    lap.start = path.length;
    lap.length = round.steps.length;
    lap.rounds++;
    path = path.concat(round.steps);
    at = path.length;
    render();
};
// Copies a text, and says so beside the buttons and to a screen reader.
function copy(text, what) {
    const done = () => {
        $('copied').textContent = `copied the ${what}`;
    };
    if (navigator.clipboard)
        navigator.clipboard.writeText(text).then(done, () => {
            $('command').select();
            document.execCommand('copy');
            done();
        });
    else {
        $('command').select();
        document.execCommand('copy');
        done();
    }
}
$('copy').onclick = () => copy($('command').value, 'command');
$('copylink').onclick = () => copy(location.href.split('#')[0] + pageHash(), 'link');
document.addEventListener('keydown', (e) => {
    if (e.target.tagName === 'INPUT' || e.altKey || e.ctrlKey || e.metaKey)
        return;
    if (e.key === 'ArrowLeft')
        goTo(at - 1);
    else if (e.key === 'ArrowRight')
        goTo(at + 1);
    else if (e.key === 'Home')
        goTo(0);
    else if (e.key === 'End')
        goTo(path.length);
    else if (/^[0-9]$/.test(e.key))
        choose(Number(e.key));
    else
        return;
    e.preventDefault();
});
