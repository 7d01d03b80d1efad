// The explorer page's start: its state from the data the page holds, its
// controls and keys, and its address. `Explorer` is how a tool drives the
// page (the browser checks, bench/explore_pages.py, the screenshots): its
// data, a walk along choices, a path to take, and a step to go to.
const Explorer = (() => {
    'use strict';
    const {byId: $, copyText} = PageKit;
    const {act, setUp} = ExploreView;
    const Page = ExplorePage;

    const page = Page.create(
        JSON.parse($('data').textContent),
        JSON.parse($('peer').textContent));  // set beside it, or null
    const goTo = (k) => act(page, Page.goTo, k);
    setUp(page);

    $('back').onclick = () => goTo(page.at - 1);
    $('forward').onclick = () => goTo(page.at + 1);
    $('tochoice').onclick = () => act(page, Page.toChoice);
    $('reset').onclick = () => act(page, Page.startOver);
    $('again').onclick = () => act(page, Page.goRound);
    // Copies a text from its box, and says beside the buttons and to a
    // screen reader what the browser did: copied it, or left it selected in
    // the box to copy by hand.
    const copy = (box, what) => copyText(box.value, box).then((copied) => {
        $('copied').textContent = copied ? `copied the ${what}` : `copy the ${what} from its box`;
    });
    $('copy').onclick = () => copy($('command'), 'command');
    $('copylink').onclick = () => {
        $('link').value = Page.link(page);
        copy($('link'), location.protocol === 'about:' ? 'lab\'s link' : 'link');
    };
    document.addEventListener('keydown', (e) => {
        if (e.target.tagName === 'INPUT' || e.altKey || e.ctrlKey || e.metaKey)
            return;
        if (e.key === 'ArrowLeft')
            goTo(page.at - 1);
        else if (e.key === 'ArrowRight')
            goTo(page.at + 1);
        else if (e.key === 'Home')
            goTo(0);
        else if (e.key === 'End')
            goTo(page.path.length);
        else if (e.key === 'n' || e.key === 'N')
            act(page, Page.toChoice);
        else if (e.key === 'h' || e.key === 'H')
            ExploreGoal.toggleHint(page);
        else if (/^[0-9]$/.test(e.key))
            act(page, Page.choose, Number(e.key));
        else
            return;
        e.preventDefault();
    });
    window.addEventListener('hashchange', () => {
        if (location.hash !== page.ownHash)
            act(page, Page.restore, location.hash);
    });
    act(page, Page.restore, location.hash);
    performance.mark('explore-ready');  // for bench/explore_pages.py

    return Object.freeze({
        data: page.D,
        // The steps ({thread, to}) a walk along `choices` from the start takes.
        follow: (choices) => ExploreGraph.follow(page.D, 0, choices).steps,
        // Takes `steps` as the path, at its start.
        take: (steps) => act(page, Page.take, steps),
        // The steps up to the state shown.
        shown: () => page.path.slice(0, page.at),
        // Each node's distance to a level's goal, as the hints say it.
        distances: () => ExploreGoal.distances(page),
        goTo
    });
})();
