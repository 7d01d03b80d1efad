// The lab's levels (the page's #levels, from sim/explore/levels.h): their
// list with what is done, a level opened by its link (#level=NAME) in the
// explorer or, for a fixing level, in the workshop, and what is done kept in
// the browser's storage; and the lessons, docs/GUARD.md's sections, opened
// in the page.
const LabLevels = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const Console = LabConsole;
    const LEVELS = JSON.parse($('levels').textContent);
    const KEY = 'listpool-levels';

    // What is done: the fewest steps by level ({} where storage is refused,
    // as for some pages opened from a file; it lasts the page's life then).
    let kept = {};
    function load() {
        try {
            kept = JSON.parse(localStorage.getItem(KEY) || '{}') || {};
        } catch (e) {
            kept = {};
        }
    }
    function keep(name, steps) {
        const best = kept[name];
        kept[name] = best === undefined || best === true || steps < best ? steps : best;
        try {
            localStorage.setItem(KEY, JSON.stringify(kept));
            return true;
        } catch (e) {
            return false;
        }
    }

    function list() {
        const box = $('levellist');
        box.replaceChildren();
        let chapter = null, ol = null;
        LEVELS.forEach((L, i) => {
            if (L.chapter !== chapter) {
                chapter = L.chapter;
                ol = el('ol', {start: i + 1});
                box.append(el('h3', {}, chapter), ol);
            }
            const done = kept[L.name];
            const link = el('a', {href: '#level=' + encodeURIComponent(L.name)}, L.title);
            const li =
                el('li', {}, link, `: ${L.goal}`, L.par === null ? '' : ` Par ${L.par}.`,
                   done === undefined ?
                       '' :
                       el('b', {className: 'done'},
                          typeof done === 'number' ? ` Done in ${done} steps.` : ' Done.'));
            li.dataset.level = L.name;
            if (L.name === opened)
                li.setAttribute('aria-current', 'true');
            ol.append(li);
        });
    }

    let opened = '';
    // A worker made ahead for the next level's page, its module compiled:
    // null until it says it is ready.
    let spare = null, making = false;
    function makeSpare() {
        if (spare || making)
            return;
        making = true;
        const worker = Console.makeWorker();
        worker.onmessage = (event) => {
            if (event.data.kind === 'ready') {
                spare = worker;
                making = false;
            }
        };
    }
    function open(lab, name) {
        const L = LEVELS.find((l) => l.name === name);
        if (!L) {
            $('levelnote').textContent = `There is no level named "${name.slice(0, 40)}".`;
            return;
        }
        opened = lab.level = name;
        list();
        delete document.body.dataset.levelready;
        $('levelgoal').textContent = `Level ${LEVELS.indexOf(L) + 1}, ${L.title}: ${L.goal}`;
        $('levelexplorer').hidden = true;
        $('h-levels').scrollIntoView();
        if (L.kind === 'fix') {
            openFix(lab, L);
        } else {
            lab.onChecked = null;
            $('levelnote').textContent = 'making every state of the level…';
            performance.mark('level-open');  // for bench/lab_page.py
            const worker = spare;
            spare = null;
            LabTools.openExplorer({
                spare: worker,
                frame: $('levelexplorer'),
                note: $('levelnote'),
                button: $('levelagain'),
                request: {kind: 'level', name},
                scene: 'guard',
                ready: () => {
                    $('levelnote').textContent =
                        'Ready: pick who goes next (its number, once the level has the focus).';
                    document.body.dataset.levelready = name;  // for the checks
                    performance.measure('level', 'level-open');
                    makeSpare();
                }
            });
        }
        Console.saveLink(lab);
    }
    // A fixing level: its guard in the workshop, done once every check holds.
    function openFix(lab, L) {
        $('levelnote').textContent = 'The guard is in the workshop below: mend it and check it.';
        const worker = Console.makeWorker();
        worker.onmessage = (event) => {
            if (event.data.kind === 'ready') {
                worker.postMessage({id: 0, kind: 'leveltext', name: L.name});
                return;
            }
            worker.terminate();
            const {answer} = event.data;
            if (answer.error) {
                $('levelnote').textContent = `The level could not be opened: ${answer.error}`;
                return;
            }
            LabWorkshop.setText(lab, answer.text);
            // A level checked on its own scene too sets it as the learner's.
            $('ownscene').checked = Boolean(L.scene);
            if (L.scene)
                ['sreaders', 'swriters', 'sreadrounds', 'swriterounds'].forEach(
                    (id, i) => ($(id).value = String(L.scene[i])));
            document.body.dataset.levelready = L.name;  // for the checks
            $('guardtext').focus();
        };
        lab.onChecked = (all) => {
            // On the level's own scene (the last checked), the verdicts it excuses may fail.
            const excused = (v, scene) =>
                L.scene && scene === all.length - 1 && L.excused.includes(v.name);
            if (lab.level !== L.name ||
                (L.scene && String(lab.guard.scenes[2]) !== String(L.scene)) ||
                !all.every(
                    (c, i) => c.complete && c.verdicts.every((v) => v.holds || excused(v, i))))
                return;
            const stored = keep(L.name, 0);
            kept[L.name] = true;
            list();
            $('levelnote').textContent = `Fixed: every check holds. ${L.broke}` +
                (stored ? '' : ' (This browser keeps nothing for a page opened from a file.)');
            document.body.dataset.won = L.name;  // for the checks
            showNext(lab, L);
        };
    }

    function showNext(lab, L) {
        const next = LEVELS[LEVELS.indexOf(L) + 1];
        $('levelnext').hidden = !next;
        if (next)
            $('levelnext').onclick = () => (location.hash = '#level=' + next.name);
    }

    // Opens docs/GUARD.md's section in the page, at `anchor`.
    function lesson(anchor) {
        const target = document.getElementById('guard-' + anchor);
        if (!target)
            return;
        $('guardmd').open = true;
        target.scrollIntoView();
        const heading = target.closest('h3, h4, h5, h6, li') || target;
        heading.tabIndex = -1;
        heading.focus({preventScroll: true});
    }

    function start(lab) {
        // Made once the page's own first runs are done.
        setTimeout(makeSpare, 2000);
        // The page's links to GUARD.md's sections open them where they are,
        // leaving the address to what the lab keeps.
        document.addEventListener('click', (e) => {
            const link = e.target.closest && e.target.closest('a[href^="#guard-"]');
            if (link) {
                e.preventDefault();
                lesson(link.getAttribute('href').slice('#guard-'.length));
            }
        });
        load();
        list();
        $('levelagain').onclick = () => lab.level && open(lab, lab.level);
        window.addEventListener('message', (event) => {
            const frame = $('levelexplorer');
            const m = event.data;
            if (event.source !== frame.contentWindow || !m || typeof m !== 'object')
                return;
            const L = LEVELS.find((l) => l.name === lab.level);
            if (!L)
                return;
            if (m.listpool === 'level-done' && Number.isInteger(m.steps)) {
                const stored = keep(L.name, m.steps);
                list();
                if (!stored)
                    $('levelnote').textContent =
                        'Done; this browser keeps nothing for a page opened from a file.';
                showNext(lab, L);
            } else if (m.listpool === 'lesson' && typeof m.anchor === 'string') {
                lesson(m.anchor);
            } else if (m.listpool === 'level-next') {
                const next = LEVELS[LEVELS.indexOf(L) + 1];
                if (next)
                    location.hash = '#level=' + next.name;
            }
        });
        window.addEventListener('hashchange', () => restore(lab, location.hash));
    }

    // Opens the level a link names, unless it is open already.
    function restore(lab, fragment) {
        const name = new URLSearchParams(fragment.slice(1)).get('level');
        if (name !== null && name !== opened)
            open(lab, name);
    }

    return Object.freeze({start, restore});
})();
