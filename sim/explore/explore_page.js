// The explorer page's state and its moves: the steps taken and how many are
// shown, a fair cycle's lap, where each property breaks, and the guard set
// beside this one walked along the same steps. A move changes the state
// only; the view draws it after (explore_view.js).
const ExplorePage = (() => {
    'use strict';
    const {Enabled, follow, stepTo, texts} = ExploreGraph;

    // The page's one state, every field here from the start: D is the page's
    // data, P the guard set beside it, or null.
    function create(D, P) {
        const page = {
            D,
            P,
            path: [],   // the steps taken: {thread, to}
            at: 0,      // how many of them are shown
            lap: null,  // {prop, start, length, rounds} once a fair cycle was played
            note: '',
            ownHash: '',  // a fragment the page set itself, where it cannot replace it
            hashTimer: 0,
            peer: {for: null, along: null},  // the peer's walk along `for`, a path
            // Where each property breaks: states, and ends of failed runs.
            failState: new Map(),
            failEnd: new Map(),
            // Each property's fair cycle, if it has one: {entry, nodes}, the
            // state its lap starts from and the lap's states.
            cycles: [],
            // What the view made once and changes in place (explore_view.js).
            view: {
                buttons: [],       // the threads'
                properties: [],    // {li, status}, the properties'
                sides: new Map(),  // by the side's id: {parts, cells, shown, tables}
                listed: null,      // the path the list of steps shows
                folds: [],         // its runs of forced steps: {start, end, open, button}
                current: null,     // the step marked current in it
                scrollFrame: 0
            }
        };
        D.properties.forEach((p, i) => {
            for (const f of p.failures) {
                const [node, thread] = D.failures[f];
                if (thread < 0)
                    page.failState.set(node, i);
                else
                    page.failEnd.set(node + ':' + thread, i);
            }
            if (p.cycle) {
                const before = follow(D, 0, p.prefix);
                const round = follow(D, before.end, p.lap).steps.map((s) => s.to);
                page.cycles[i] = {entry: before.end, nodes: new Set([before.end, ...round])};
            }
        });
        return page;
    }

    const nodeAt = (page, k) => (k === 0 ? 0 : page.path[k - 1].to);
    // The property step k breaks, if none broke before it on the path: the
    // program stays broken after, and the graph goes on past where it breaks.
    function breaksAt(page, k) {
        const to = page.path[k].to;
        return to === -1 ? page.failEnd.get(nodeAt(page, k) + ':' + page.path[k].thread) :
                           page.failState.get(to);
    }
    function breaks(page, k) {
        const broken = breaksAt(page, k);
        for (let j = 0; j < k && broken !== undefined; j++)
            if (breaksAt(page, j) === broken)
                return undefined;
        return broken;
    }
    // The choices of the first `upTo` steps, as --replay takes them.
    function choices(page, upTo) {
        const list = [];
        for (let k = 0; k < upTo; k++)
            if (Enabled.count(page.D, nodeAt(page, k)) > 1)
                list.push(page.path[k].thread);
        return list.join(' ');
    }
    const hash = (page) =>
        `#scene=${page.D.name}&replay=${encodeURIComponent(choices(page, page.at))}`;
    // The steps before the state shown, for reason(): {node, thread}.
    const myStep = (page) => (j) => ({node: nodeAt(page, j), thread: page.path[j].thread});
    // The page's own link to the state shown; a page made inside the lab (a
    // frame of its own text) has no address of its own: its link is the
    // lab's, which holds what the lab keeps.
    const link = (page) => location.protocol === 'about:' ?
        parent.location.href :
        location.href.split('#')[0] + hash(page);

    // The same steps on the peer: its node after each; a step whose thread
    // cannot go on there is skipped (the peer stays), so that after the two
    // part the peer goes on with the same threads' next calls where it can.
    // `parted` is the first step it skips or after which the states differ.
    function alongPeer(page) {
        if (page.peer.for !== page.path) {
            page.peer.for = page.path;
            page.peer.along = walkPeer(page);
        }
        return page.peer.along;
    }
    function walkPeer({D, P, path}) {
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
    const peerStep = (page, peer) => (j) =>
        (peer.skipped[j] || peer.nodes[j] === -1 ?
             null :
             {node: peer.nodes[j], thread: page.path[j].thread});

    // Lets thread t go from the state shown; false, changing nothing, where it
    // cannot. The steps after are kept if it is the step taken next before.
    function choose(page, t) {
        const from = nodeAt(page, page.at), to = stepTo(page.D, from, t);
        if (to === undefined || !Enabled.has(page.D, from, t))
            return false;
        if (!(page.at < page.path.length && page.path[page.at].thread === t)) {
            page.path = page.path.slice(0, page.at);
            page.path.push({thread: t, to});
            if (page.lap && page.at < page.lap.start + page.lap.length)
                page.lap = null;
        }
        page.at++;
        page.note = '';
        return true;
    }

    // Takes every step at which one thread alone can go on, as far as the
    // next state where more than one can, or the run's end; false, changing
    // nothing, at such a state. A loop of forced steps is left after a
    // bounded number of them.
    function toChoice(page) {
        const from = page.at;
        for (let n = 0; n < 100000; n++) {
            const node = nodeAt(page, page.at);
            if (node === -1 || Enabled.count(page.D, node) !== 1 ||
                !choose(page, Enabled.highest(page.D, node)))
                break;
        }
        return page.at > from;
    }

    // Moves to step k of the path (0: the start), as back, forward and a click
    // on a step do.
    function goTo(page, k) { page.at = Math.max(0, Math.min(page.path.length, k)); }

    // Takes `steps` as the path, shown from its start, as a tool walking the
    // graph does.
    function take(page, steps) {
        page.path = steps;
        page.lap = null;
        page.note = '';
        page.at = 0;
    }

    // Plays property i's shortest failing schedule, or the way to its fair
    // cycle and one lap.
    function play(page, i) {
        const {D} = page, p = D.properties[i];
        if (p.cycle) {
            const before = follow(D, 0, p.prefix), round = follow(D, before.end, p.lap);
            page.path = before.steps.concat(round.steps);
            page.lap = {prop: i, start: before.steps.length, length: round.steps.length, rounds: 1};
            page.note = before.note || round.note;
        } else {
            const r = follow(D, 0, p.choices);
            page.path = r.steps;
            page.lap = null;
            page.note = r.note;
        }
        page.at = page.path.length;
    }

    // Whether the lap can go round again: at the end of the path, back in the
    // state it began in.
    const canGoRound = (page) => page.lap !== null && page.at === page.path.length &&
        nodeAt(page, page.at) === page.cycles[page.lap.prop].entry;
    function goRound(page) {
        if (!canGoRound(page))
            return false;
        const {lap} = page,
              round = follow(page.D, nodeAt(page, page.at), page.D.properties[lap.prop].lap);
        lap.start = page.path.length;
        lap.length = round.steps.length;
        lap.rounds++;
        page.path = page.path.concat(round.steps);
        page.at = page.path.length;
        return true;
    }

    function startOver(page) { take(page, []); }

    // The state a fragment names (#scene=NAME&replay=CHOICES, and &at=K to
    // show the path from its step K, as a schedule to step through opens at
    // 0): a page opened plainly starts at its start.
    function restore(page, fragment) {
        const params = new URLSearchParams(fragment.slice(1));
        const text = (params.get('replay') || '').trim();
        const scene = params.get('scene');
        const r = follow(page.D, 0, text ? text.split(/\s+/).map(Number) : []);
        page.path = r.steps;
        const at = Number(params.get('at'));
        page.at = params.has('at') && at >= 0 ? Math.min(Math.floor(at), page.path.length) :
            text                              ? page.path.length :
                                                0;
        page.lap = null;
        page.note = scene && scene !== page.D.name ?
            `these choices are for the scene ${scene}; ${r.note}` :
            r.note;
    }

    return Object.freeze({
        create,
        nodeAt,
        breaks,
        choices,
        hash,
        link,
        myStep,
        alongPeer,
        peerStep,
        choose,
        toChoice,
        goTo,
        take,
        play,
        canGoRound,
        goRound,
        startOver,
        restore
    });
})();
