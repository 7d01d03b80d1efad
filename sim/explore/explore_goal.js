// A level's goal on its page (the data's "goal", sim/explore/levels.h): the
// goal and its par, a hint of how far the goal is, and the panel that says
// what happened once the path reaches it. The hint's distances are found
// here, backwards through the graph from the goal's states.
const ExploreGoal = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const {Enabled, texts, columns} = ExploreGraph;
    const {nodeAt} = ExplorePage;

    // Each node's steps to the goal, -1 where it cannot be reached: a goal
    // state is 0 away, the last state of a failed run that reaches it 1.
    function distances(page) {
        const {D} = page, G = D.goal, far = new Int32Array(D.nodes.length).fill(-1);
        const into = D.nodes.map(() => []);
        D.nodes.forEach((n, from) => {
            for (let i = 1; i < n[1].length; i += 2)
                if (n[1][i] >= 0)
                    into[n[1][i]].push(from);
        });
        let next = [];
        for (const s of G.states) {
            far[s] = 0;
            next.push(s);
        }
        const ones = [];
        for (const [node] of G.ends)
            if (far[node] < 0) {
                far[node] = 1;
                ones.push(node);
            }
        for (let d = 0; next.length || ones.length; d++) {
            const now = d === 1 ? next.concat(ones.splice(0)) : next;
            next = [];
            for (const n of now)
                for (const from of into[n])
                    if (far[from] < 0) {
                        far[from] = d + 1;
                        next.push(from);
                    }
        }
        return far;
    }

    // Whether the lap path[j..k) (back at the state it began in) breaks the
    // level's property: for "every run ends", any lap; for a fairness one,
    // a weakly fair lap (every thread that can go on in all its states
    // takes a step in it) that a waiting writer, or reader, never steps in.
    function lapBreaks(page, j, k) {
        const {D} = page, level = D.goal.level, stepped = new Set();
        for (let i = j; i < k; i++)
            stepped.add(page.path[i].thread);
        if (D.goal.property === 3)
            return true;
        const always = (t) => {
            for (let i = j; i < k; i++)
                if (!Enabled.has(D, nodeAt(page, i), t))
                    return false;
            return true;
        };
        const waiting = (t) => {
            const at = texts(D, nodeAt(page, j));
            const call = at[t * columns(D)];
            return call !== 'ended' && call !== 'not started' && !at[t * columns(D) + 2];
        };
        let kept = false;
        for (let t = 0; t < D.threads.length; t++) {
            if (stepped.has(t))
                continue;
            if (always(t))
                return false;  // not weakly fair
            const writer = t > level.readers;
            kept = kept || (t > 0 && writer === (D.goal.property === 4) && waiting(t));
        }
        return kept;
    }

    // The number of steps after which the path first reaches the goal, up
    // to the state shown, or -1.
    function reachedAt(page) {
        const {D, at} = page, G = D.goal;
        if (G.level.kind === 'lap') {
            // Every earlier visit of a state the path comes back to starts a lap.
            const seen = new Map([[0, [0]]]);
            for (let k = 1; k <= at; k++) {
                const node = nodeAt(page, k);
                if (node < 0)
                    break;
                const before = seen.get(node) || [];
                if (before.some((j) => lapBreaks(page, j, k)))
                    return k;
                seen.set(node, before.concat(k));
            }
            return -1;
        }
        for (let k = 0; k < at; k++) {
            const step = page.path[k];
            if (step.to >= 0 ? page.goal.states.has(step.to) :
                               page.goal.ends.has(nodeAt(page, k) + ':' + step.thread))
                return k + 1;
        }
        return -1;
    }

    function setUp(page) {
        const G = page.D.goal;
        if (!G)
            return;
        page.goal = {
            states: new Set(G.states),
            ends: new Set(G.ends.map(([n, t]) => n + ':' + t)),
            far: null,
            hinted: false,
            won: -1
        };
        const L = G.level;
        $('goal').hidden = false;
        // Playing a property's shortest schedule would give the level away.
        document.body.classList.add('level');
        $('goaltitle').textContent = `Level: ${L.title}`;
        $('goaltext').textContent = L.goal;
        $('par').textContent = `Par: ${G.par} steps, the fewest there are` +
            (L.kind === 'lap' ? ' (to the lap and once round it).' : '.');
        $('hint').onclick = () => toggleHint(page);
        $('nextlevel').onclick = () => parent.postMessage({listpool: 'level-next'}, '*');
    }

    function toggleHint(page) {
        if (!page.goal)
            return;
        page.goal.hinted = !page.goal.hinted;
        render(page);
    }

    function hintText(page) {
        const {goal, at} = page, far = goal.far || (goal.far = distances(page));
        const lap = page.D.goal.level.kind === 'lap';
        const here = far[nodeAt(page, at)];
        if (nodeAt(page, at) >= 0 && here >= 0)
            return here === 0 ? (lap ? 'This state is on a lap that does it: now go round it.' :
                                       'The goal is reached in this state.') :
                                `${here} step${here === 1 ? '' : 's'} to ` +
                    (lap ? 'a state of a lap that does it, then round the lap.' : 'the goal.');
        for (let k = at - 1; k >= 0; k--)
            if (far[nodeAt(page, k)] >= 0)
                return `The goal cannot be reached from here: go back to the state after step ${
                    k - 1} (${far[nodeAt(page, k)]} steps from it).`;
        return 'The goal cannot be reached from here.';
    }

    function render(page) {
        if (!page.goal)
            return;
        const {goal} = page, L = page.D.goal.level, par = page.D.goal.par;
        $('hint').setAttribute('aria-expanded', String(goal.hinted));
        $('hinttext').textContent = goal.hinted ? hintText(page) : '';
        const won = reachedAt(page);
        $('won').hidden = won < 0;
        document.body.dataset.won = won < 0 ? '' : String(won);  // for the checks
        if (won < 0 || won === goal.won)
            return;
        goal.won = won;
        $('won').scrollIntoView({block: 'nearest'});
        const against = won === par ? 'at par' :
            won < par               ? `${par - won} under par` :
                                      `${won - par} over par`;
        // The real guard's states break nothing; its laps, and any other
        // guard, break what the goal names.
        $('wontitle').textContent = L.guard || L.kind !== 'state' ? 'You broke it' : 'You did it';
        $('wonwhat').textContent = L.broke;
        $('wonsteps').textContent = `In ${won} steps; par is ${par} (${against}).`;
        $('wonreal').replaceChildren(el('b', {}, 'At that step: '), L.real);
        // Inside the lab, the lesson is the lab's own copy of GUARD.md.
        const lesson = el('a', {href: `GUARD.md#${L.lesson}`}, L.lessonTitle);
        if (parent !== window)
            lesson.onclick = (e) => {
                e.preventDefault();
                parent.postMessage({listpool: 'lesson', anchor: L.lesson}, '*');
            };
        $('wonlesson').replaceChildren('The lesson, in GUARD.md: ', lesson, '.');
        // Inside the lab the level is kept as done there, and the lab goes on.
        if (parent !== window) {
            parent.postMessage({listpool: 'level-done', name: L.name, steps: won}, '*');
            $('nextlevel').hidden = false;
        }
    }

    return Object.freeze({setUp, render, toggleHint, distances});
})();
