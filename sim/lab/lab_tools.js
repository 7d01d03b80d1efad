// The lab's tools beside the console: every schedule of the session, the
// explorer on it, and the link that holds the session and the scheduler's
// choices.
const LabTools = (() => {
    'use strict';
    const {byId: $, el, copyText} = PageKit;
    const Console = LabConsole;
    const {LIMITS} = Console;

    // A worker for the long jobs, made afresh for each so that it can be stopped.
    function stopSearcher(lab) {
        if (lab.searcher)
            lab.searcher.terminate();
        lab.searcher = null;
        $('stop').disabled = true;
        $('search').disabled = false;
        $('progress').hidden = true;
        clearTimeout(lab.timers.search);
    }

    function everySchedule(lab) {
        stopSearcher(lab);
        const maxStates = Math.max(1, Math.floor(Number($('maxstates').value) || 200000));
        const seconds = Math.max(1, Number($('maxseconds').value) || 30);
        const started = performance.now();
        const searcher = (lab.searcher = Console.makeWorker());
        $('search').disabled = true;
        $('stop').disabled = false;
        $('progress').hidden = false;
        $('progress').removeAttribute('value');
        $('report').textContent = '';
        $('shortest').replaceChildren();
        $('searchnote').textContent = 'searching…';
        lab.timers.search = setTimeout(() => {
            stopSearcher(lab);
            $('searchnote').textContent =
                `Stopped at the bound of ${seconds} s: not every schedule was seen.`;
        }, seconds * 1000);
        searcher.onmessage = (event) => {
            const reply = event.data;
            if (reply.kind === 'ready')
                searcher.postMessage({
                    kind: 'search',
                    id: 0,
                    session: lab.session,
                    guard: lab.guard.inSession,
                    maxStates
                });
            else if (reply.kind === 'progress')
                $('searchnote').textContent =
                    `searching… ${reply.steps.toLocaleString('en')} steps looked at`;
            else if (reply.kind === 'search') {
                const a = reply.answer;
                const ms = Math.round(performance.now() - started);
                stopSearcher(lab);
                if (a.error) {
                    $('searchnote').textContent = `The search failed: ${a.error}`;
                    return;
                }
                $('report').textContent = a.report;
                showShortest(lab, a.shortest);
                $('searchnote').textContent =
                    (a.complete ? `Every schedule seen in ${ms} ms.` :
                                  `Stopped at the bound of ${
                                      maxStates.toLocaleString(
                                          'en')} states: not every schedule was seen.`) +
                    (a.failure ? ' A schedule fails: see the report.' : '');
                document.body.dataset.searched =
                    String(ms);  // for the checks and bench/lab_page.py
            }
        };
    }

    function stopSearch(lab) {
        stopSearcher(lab);
        $('searchnote').textContent = 'Stopped: not every schedule was seen.';
    }

    // Each distinct outcome with a shortest schedule to it, to play in the explorer.
    function showShortest(lab, shortest) {
        $('shortest').replaceChildren(...shortest.map(([ending, steps, choices]) => {
            const play = () => {
                lab.choices = choices.trim().split(/\s+/).filter(Boolean).join(',');
                Console.saveLink(lab);
                explore(lab, choices, true);
            };
            const go = el('button', {onclick: play}, 'be the scheduler on it');
            const li =
                el('li', {}, `${ending.trim()}: in ${steps} steps, choices ${choices || '(none)'} `,
                   go);
            li.dataset.choices = choices;  // for the checks
            li.dataset.ending = ending;
            return li;
        }));
    }

    // An explorer page, made in a worker by `request`, shown in `frame` and
    // taken to `choices` (as its fragment names them, for its `scene`), shown
    // from their first step when `fromStart`; `ready` is told the page's
    // window once it is there. What went wrong is said in `note`; `button` is
    // off meanwhile.
    // `spare`, when given, is a worker that has said it is ready, to use
    // instead of making one.
    function openExplorer({frame, note, button, request, scene, choices, fromStart, ready, spare}) {
        const worker = spare || Console.makeWorker();
        button.disabled = true;
        if (spare)
            worker.postMessage(Object.assign({id: 0}, request));
        worker.onmessage = (event) => {
            const reply = event.data;
            if (reply.kind === 'ready') {
                worker.postMessage(Object.assign({id: 0}, request));
                return;
            }
            worker.terminate();
            button.disabled = false;
            const html = reply.answer.html || '';
            if (reply.answer.error || html.startsWith('{"error"')) {
                note.textContent = 'The explorer could not be made: ' +
                    (reply.answer.error || JSON.parse(html).error);
                return;
            }
            frame.onload = () => {
                fitFrame(frame);
                goTo(frame.contentWindow, scene, choices, fromStart, ready);
            };
            frame.hidden = false;
            frame.srcdoc = html;
        };
    }
    // The frame as tall as its page, whatever it shows, so that the page
    // scrolls once, never a scroll inside a scroll.
    function fitFrame(frame) {
        const page = frame.contentDocument;
        if (!page || !page.body)
            return;
        const fit = () => (frame.style.height = `${page.documentElement.scrollHeight + 2}px`);
        new ResizeObserver(fit).observe(page.body);
        fit();
    }
    function goTo(inner, scene, choices, fromStart, ready) {
        if (!choices) {
            ready(inner);
            return;
        }
        // The explorer writes its own address a moment after it starts,
        // which would overwrite the choices given before: they are given
        // once it has, and it is ready once it has followed them.
        const started = performance.now();
        const give = () => {
            if (!inner.location.hash && performance.now() - started < 3000) {
                setTimeout(give, 50);
                return;
            }
            inner.addEventListener(
                'hashchange', () => setTimeout(() => ready(inner)), {once: true});
            inner.location.hash =
                `scene=${scene}&replay=${encodeURIComponent(choices)}${fromStart ? '&at=0' : ''}`;
        };
        give();
    }

    // The explorer page of the session, made in a worker, shown in a frame:
    // at `choices`, or at their first step when `fromStart`.
    function explore(lab, choices, fromStart) {
        delete document.body.dataset.explored;
        $('explorenote').textContent = 'making every state of the session…';
        openExplorer({
            frame: $('explorer'),
            note: $('explorenote'),
            button: $('explore'),
            request: {kind: 'explore', session: lab.session, guard: lab.guard.inSession},
            scene: 'session',
            choices,
            fromStart,
            ready: (inner) => {
                // The scheduler's choices follow into the link (the explorer
                // replaces its address without an event).
                clearInterval(lab.timers.follow);
                lab.timers.follow = setInterval(() => followChoices(lab, inner), 400);
                $('explorenote').textContent = 'Ready: pick who goes next.';
                document.body.dataset.explored = '1';
            }
        });
    }
    function followChoices(lab, inner) {
        const replay = new URLSearchParams(inner.location.hash.slice(1)).get('replay');
        if (replay !== null) {
            lab.choices = replay.trim().split(/\s+/).filter(Boolean).join(',');
            Console.saveLink(lab);
        }
    }

    // Copies the link; where the clipboard refuses, shows it to copy by hand.
    function copyLink(lab) {
        const link = location.href.split('#')[0] + Console.linkHash(lab);
        $('link').value = link;
        copyText(link, $('link')).then((copied) => {
            $('copied').textContent = copied ? 'Link copied.' : 'Copy the link from the box.';
        });
    }

    // Restores a link's session and choices; anything wrong with it is said,
    // and the page goes on with an empty session.
    function restore(lab, fragment) {
        const hash = fragment.slice(1);
        if (!hash)
            return;
        try {
            if (hash.length > LIMITS.fragment)
                throw new Error(`the link is too long (${
                    hash.length.toLocaleString(
                        'en')} characters; at most ${LIMITS.fragment.toLocaleString('en')})`);
            const params = new URLSearchParams(hash);
            const session = params.get('session') || '';
            const choices = (params.get('choices') || '').trim();
            const lines = session.split('\n').length;
            if (lines > LIMITS.lines)
                throw new Error(`its session has ${lines.toLocaleString('en')} lines (at most ${
                    LIMITS.lines})`);
            if (new TextEncoder().encode(session).length > LIMITS.bytes)
                throw new Error(
                    `its session is longer than ${LIMITS.bytes.toLocaleString('en')} bytes`);
            // The program is handed the session as a C string, which a NUL would end.
            if (session.includes('\0'))
                throw new Error('its session holds a NUL character');
            if (!/^[0-9]*(,[0-9]+)*$/.test(choices) || choices.split(',').length > LIMITS.choices)
                throw new Error('its choices are not a list of thread numbers separated by commas');
            lab.session = session && !session.endsWith('\n') ? session + '\n' : session;
            lab.choices = choices;
            // The clock stands where the link was made, else at the last
            // line's time, paused.
            const at = params.get('at');
            if (at !== null && !(/^\d{1,9}$/.test(at) && Number(at) <= LIMITS.ms))
                throw new Error(`its time "${at.slice(0, 30)}" is not a time in ms up to ${
                    LIMITS.ms.toLocaleString('en')}`);
            let last = 0;
            for (const m of session.matchAll(/^@(\d+)/gm))
                last = Math.max(last, Number(m[1]));
            Console.setClock(lab, at === null ? last : Number(at), 0);
            $('pace').value = '0';
            Console.showTyped(lab);
            if (choices)
                explore(lab, choices.replaceAll(',', ' '));
        } catch (error) {
            lab.session = '';
            lab.choices = '';
            Console.say(
                `This link cannot be opened: ${error.message}. The lab starts empty instead.`);
        }
    }

    return Object.freeze({everySchedule, stopSearch, explore, openExplorer, copyLink, restore});
})();
