// The page's look: the threads to pick from, the steps taken, the
// properties, the lap, the code and the state tables, drawn after every
// move from the page's state (explore_page.js). Controls that stay are
// changed in place, so that the one in use keeps the focus.
const ExploreView = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const {threadColour} = ExploreCode;
    const {Enabled, next, stepTo, reason} = ExploreGraph;
    const Page = ExplorePage;
    const Properties = ExploreProperties;
    const Side = ExploreSide;
    const Goal = ExploreGoal;

    // Makes a move (a function of ExplorePage) and draws the page after it,
    // unless the move refused.
    function act(page, move, ...args) {
        if (move(page, ...args) !== false)
            render(page);
    }

    // The thread buttons and the properties, made once: a blocked button stays
    // focusable and says why.
    function setUp(page) {
        page.view.buttons = page.D.threads.map((name, t) => {
            const b = el('button', {onclick: () => act(page, Page.choose, t)});
            b.dataset.thread = t;
            b.style.borderLeft = `6px solid ${threadColour(t)}`;
            $('threads').append(b);
            return b;
        });
        Properties.setUp(page, (i) => act(page, Page.play, i));
        Goal.setUp(page);
    }

    // The peer's title inside a sentence.
    const peerName = (page) => page.P.title.replace(/^The /, 'the ');

    function stepItem(page, peer, s, k) {
        const {D, lap} = page, goTo = () => act(page, Page.goTo, k + 1);
        const li =
            el('li', {tabIndex: -1, onclick: goTo},
               `${D.threads[s.thread]}: ${next(D, Page.nodeAt(page, k), s.thread)}`);
        li.onkeydown = (e) => {
            if (e.key === 'Enter' || e.key === ' ') {
                goTo();
                e.preventDefault();
            } else if (e.key === 'ArrowUp' || e.key === 'ArrowDown') {
                const way = e.key === 'ArrowUp' ? 'previousElementSibling' : 'nextElementSibling';
                let to = li[way];
                while (to && to.hidden)  // a folded step
                    to = to[way];
                if (to)
                    to.focus();
                e.preventDefault();
                e.stopPropagation();
            }
        };
        li.dataset.step = k;
        li.value = k;  // its number, whichever steps before it are folded
        const broken = Page.breaks(page, k);
        li.classList.toggle('broken', broken !== undefined);
        li.classList.toggle('parted', k === peer.parted);
        if (broken !== undefined)
            li.append(
                el('span', {className: 'tag'}, ` \u2014 ${D.properties[broken].name} broken`));
        if (k === peer.parted)
            li.append(el('span', {className: 'tag'}, ` \u2014 ${peerName(page)} parts here`));
        if (lap && k >= lap.start && k < lap.start + lap.length)
            li.classList.add('lap');
        return li;
    }

    // Runs of three or more steps at which one thread alone could go on,
    // each shown as its first and last rows, with a button on the first
    // that opens the rest.
    function foldForced(page, list) {
        const folds = [], {D, path} = page;
        const forced = (k) => Enabled.count(D, Page.nodeAt(page, k)) === 1;
        for (let k = 0; k < path.length;) {
            let end = k;
            while (forced(k) && end + 1 < path.length && forced(end + 1))
                end++;
            if (end - k >= 2) {
                // open: null until asked, the run then open while the step shown is in it.
                const fold = {start: k, end, open: null, button: null};
                fold.button = el('button', {
                    className: 'fold',
                    onclick: (e) => {
                        e.stopPropagation();
                        fold.open = fold.button.getAttribute('aria-expanded') !== 'true';
                        render(page);
                    }
                });
                list.children[k].append(' ', fold.button);
                folds.push(fold);
            }
            k = end + 1;
        }
        return folds;
    }

    function renderSteps(page, peer) {
        const list = $('steps'), {view, at} = page;
        if (view.listed !== page.path) {
            // Made again only when the steps change; moving along them only
            // marks another one.
            view.listed = page.path;
            view.current = null;
            list.replaceChildren(...page.path.map((s, k) => stepItem(page, peer, s, k)));
            view.folds = foldForced(page, list);
        }
        for (const fold of view.folds) {
            // A run is open when asked, or when the step shown is inside it.
            const open = fold.open ?? (at - 1 > fold.start && at - 1 < fold.end);
            for (let k = fold.start + 1; k < fold.end; k++)
                list.children[k].hidden = !open;
            fold.button.setAttribute('aria-expanded', String(open));
            fold.button.textContent =
                open ? 'fold the forced steps' : `${fold.end - fold.start - 1} forced steps folded`;
        }
        const current = at > 0 ? list.children[at - 1] : null;
        if (view.current !== current) {
            for (const li of list.querySelectorAll('.current'))
                li.classList.remove('current');
            if (current) {
                current.classList.add('current');
                // At the next frame, whose layout is done anyway, rather than
                // forcing one now in the middle of the step.
                // Only the list scrolls: the page stays where the learner is,
                // and so does the lab around a page in a frame.
                cancelAnimationFrame(view.scrollFrame);
                view.scrollFrame = requestAnimationFrame(() => {
                    const box = list.getBoundingClientRect(), row = current.getBoundingClientRect();
                    if (row.top < box.top)
                        list.scrollTop -= box.top - row.top;
                    else if (row.bottom > box.bottom)
                        list.scrollTop += row.bottom - box.bottom;
                });
            }
            view.current = current;
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

    function render(page) {
        const {D, P, at} = page, node = Page.nodeAt(page, at);
        document.body.dataset.node = node;
        document.body.dataset.at = at;
        $('title').textContent = D.title;
        document.title = `${D.title}: be the scheduler (listpool)`;
        page.view.buttons.forEach((b, t) => {
            const can = node !== -1 && Enabled.has(D, node, t) && stepTo(D, node, t) !== undefined;
            b.setAttribute('aria-disabled', String(!can));
            b.replaceChildren(
                `${t} ${D.threads[t]}: ${node === -1 ? 'the run has ended' : next(D, node, t)}`);
            if (!can && node !== -1)
                b.append(
                    el('span', {className: 'reason'}, reason(D, node, t, Page.myStep(page), at)));
        });
        const peer = P ? Page.alongPeer(page) : {nodes: [], skipped: [], parted: -1};
        renderSteps(page, peer);
        Properties.render(page, node);
        Properties.renderLap(page);
        Goal.render(page);
        Side.render(
            page, 'mine', D, node, at > 0 ? Page.nodeAt(page, at - 1) : -1,
            at === 0 ? `At the start: ${D.title}` : `After step ${at - 1}: ${D.title}`);
        if (P)
            renderPeer(page, peer);
        $('command').value = D.command.replace('{}', Page.choices(page, at));
        $('link').value = Page.link(page);
        // The fragment follows a moment later, once the steps stop: browsers
        // refuse a page that replaces its address too often.
        clearTimeout(page.hashTimer);
        page.hashTimer = setTimeout(() => {
            const hash = Page.hash(page);
            if (location.hash === hash)
                return;
            try {
                history.replaceState(null, '', hash);
            } catch (e) {
                page.ownHash = hash;
                location.hash = hash;
            }
        }, 150);
        $('note').textContent = page.note;
        $('again').hidden = !page.lap;
        $('again').setAttribute('aria-disabled', String(!Page.canGoRound(page)));
        announce(page, node, peer);
    }

    // The correct guard on the same steps, and where it cannot follow, why.
    function renderPeer(page, peer) {
        const {P, at, path} = page;
        const theirs = peer.nodes[at], before = at > 0 ? peer.nodes[at - 1] : -1;
        let blocked = '';
        if (at > 0 && peer.skipped[at - 1]) {
            const t = path[at - 1].thread, from = peer.nodes[at - 1];
            blocked = from === -1 ?
                'Its run has ended.' :
                `It cannot take step ${at - 1}: ${P.threads[t]} ${
                    reason(P, from, t, Page.peerStep(page, peer), at - 1)}. It stays where it was.`;
        }
        const state =
            Side.render(page, 'theirs', P, theirs, before, `The same threads: ${P.title}`, blocked);
        state.append(
            el('p', {id: 'parting'},
               peer.parted < 0 ?
                   'The two have not parted.' :
                   at <= peer.parted ?
                   `They part at step ${peer.parted}.` :
                   `They parted at step ${peer.parted}; since then ${
                       peerName(page)} takes the same threads' next calls where it can (${
                       peer.skipped.slice(peer.parted, at).filter((s) => !s).length} of ${
                       at - peer.parted}).`));
    }

    // Says what the step did, in the live region.
    function announce(page, node, peer) {
        const {D, P, at, path} = page;
        const parts =
            [at === 0 ? 'At the start.' :
                        `Step ${at - 1}: ${D.threads[path[at - 1].thread]}, ${
                            next(D, Page.nodeAt(page, at - 1), path[at - 1].thread)}.`];
        const broken = at > 0 ? Page.breaks(page, at - 1) : undefined;
        if (broken !== undefined)
            parts.push(`${D.properties[broken].name} broken here.`);
        if (P && at > 0 && peer.skipped[at - 1])
            parts.push(`On ${peerName(page)} it cannot be taken.`);
        parts.push(
            node === -1 ? 'The run has ended.' : `${Enabled.count(D, node)} thread(s) can go on.`);
        $('announce').textContent = parts.join(' ');
    }

    return Object.freeze({setUp, render, act});
})();
