// The properties, each with its state and its button to play it, made once
// and marked after every move; and the lap of a fair cycle, in numbers and
// words.
const ExploreProperties = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const {Enabled, follow} = ExploreGraph;
    const {breaks, nodeAt} = ExplorePage;

    // The list, into #properties; `play(i)` plays property i.
    function setUp(page, play) {
        const {D} = page, f = D.figures;
        page.view.properties = D.properties.map((p, i) => {
            const status = el('span', {className: 'status'});
            const li = el('li', {}, el('b', {}, p.name), ': ', status, '. ');
            li.dataset.name = p.name;
            if (p.failures.length || p.cycle) {
                const label = p.failures.length ?
                    `play the shortest failing schedule (${
                        follow(D, 0, p.choices).steps.length} steps)` :
                    'play the shortest way to a fair cycle that breaks it, and one lap';
                li.append(el('button', {className: 'play', onclick: () => play(i)}, label));
            } else {
                li.append(
                    `No schedule breaks it: ${p.holds}, in all ${f.states.toLocaleString('en')} ` +
                    `states and ${f.transitions.toLocaleString('en')} transitions the search met` +
                    (f.complete ? '.' : ' (not every state was explored).'));
            }
            $('properties').append(li);
            return {li, status};
        });
    }

    function render(page, node) {
        const {at} = page;
        page.D.properties.forEach((p, i) => {
            const here = (at > 0 && breaks(page, at - 1) === i) ||
                (p.cycle && page.cycles[i].nodes.has(node));
            let before = at - 2;  // a step before this one that broke it
            while (before >= 0 && breaks(page, before) !== i)
                before--;
            const {status} = page.view.properties[i];
            status.className = 'status ' + (here || before >= 0 ? 'bad' : 'ok');
            status.textContent = here ?
                (p.cycle ? 'this state is on a fair cycle: ' : 'broken here: ') + p.what :
                before >= 0 ?
                `broken at step ${before}, and the run goes on from the broken state` :
                'holds in this state';
        });
    }

    // Each thread's part in the lap: its steps, and in how many of the lap's
    // states it could go on; then what that means for a weakly fair scheduler.
    function renderLap(page) {
        const {D, lap, path} = page, box = $('lapinfo');
        box.replaceChildren();
        if (!lap)
            return;
        const table =
            el('table', {},
               el('tr', {}, el('th', {}, 'thread'), el('th', {}, 'steps in the lap'),
                  el('th', {}, 'states of the lap where it can go on')));
        const owed = [], starved = [];
        D.threads.forEach((name, t) => {
            let steps = 0, can = 0;
            for (let k = lap.start; k < lap.start + lap.length; k++) {
                if (path[k].thread === t)
                    steps++;
                if (Enabled.has(D, nodeAt(page, k), t))
                    can++;
            }
            if (can === lap.length)
                owed.push(`${name} (${steps} steps)`);
            else if (steps === 0 && can > 0)
                starved.push({name, can});
            table.append(
                el('tr', {}, el('th', {}, `${t} ${name}`), el('td', {}, String(steps)),
                   el('td', {}, `${can} of ${lap.length}`)));
        });
        const n = lap.length;
        const words = [
            'A weakly fair scheduler must sooner or later let go every thread that can go on in ' +
                'every state from some point on; it owes nothing to a thread that is blocked now ' +
                'and then.',
            `This lap is such a run: the threads that can go on in all ${
                n} of its states take steps in it` +
                (owed.length ? ` (${owed.join(', ')})` : '') +
                ', and it comes back to the state it began in.',
        ];
        for (const s of starved) {
            words.push(
                `${s.name} can go on in only ${s.can} of the ${
                    n} states, and is blocked in the others, ` +
                `so a fair scheduler may pass it over each time it could go: around this lap for ` +
                `ever, ${
                    s.name} never gets in. Its button is enabled at those steps: you may let ` +
                'it go, a fair scheduler need not.');
        }
        box.append(
            el('h2', {},
               `The lap: steps ${lap.start} to ${lap.start + n - 1}, back to the state after step ${
                   lap.start - 1}, round ${lap.rounds}`),
            el('p', {id: 'fairness'}, words.join(' ')), table);
    }

    return Object.freeze({setUp, render, renderLap});
})();
