// The lab's page: a console on the program run by the simulator in a worker.
// The session typed so far is kept as lines "@<ms> text"; the program is run
// on it from the start, with input kept open, up to a little past the
// clock, and the page shows the writes whose virtual time has come. The
// clock runs at the program's pace unless paused or sped up. Everything
// from the link or the program is shown as text, never as markup.
const LabConsole = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const FILES = ['stdout', 'stderr', 'PrintThread.0', 'FindThread.0', 'GarbageThread.0'];
    const AHEAD =
        10000;  // ms of virtual time run ahead of the clock: short runs answer typing sooner
    // A guard text is at most 20,000 characters, which the fragment holds
    // percent-encoded beside the largest session.
    // `ms`: the simulator's limit of virtual time (Options::maxTimeMs, 24 h),
    // at which listpool-sim ends a run, and past which the clock stops.
    const LIMITS =
        {fragment: 1000000, lines: 2000, bytes: 64000, choices: 10000, guard: 20000, ms: 86400000};
    const PAST_LIMIT = `The simulator runs a session for at most 24 h of virtual time (${
        LIMITS.ms.toLocaleString('en')} ms), as listpool-sim does: the clock stops there.`;

    // The page's one state, every field here from the start.
    function create() {
        return {
            session: '',      // what was typed, one "@<ms> text" line each
            choices: '',      // the scheduler's choices, for the link
            level: '',        // the level open (lab_levels.js), or ''
            onChecked: null,  // told each workshop check's answers, by scene
            now: 0,           // virtual ms shown
            pace: 1,          // virtual ms per real ms; 0: paused
            started: false,   // the clock runs once the first run is in hand
            origin: 0,        // performance.now() at which the clock read `base`
            base: 0,
            run: null,     // the last run ahead: {bound, writes, ended, ending, endMs, threads}
            ahead: false,  // a run ahead is under way
            rerunWanted: false,  // and the session changed meanwhile
            shown: -1,           // writes shown, or -1 before the first
            shownUpTo: -1,       // virtual ms up to which they were shown
            over: false,         // whether the run's end is shown
            code: null,          // the guard's code (GuardSourceJson), once the drawer gave it
            whenCode: null,      // told of it then
            // The guard workshop (lab_guard.js): the learner's text, the real
            // guard's, the text the session's guards run ('' for the
            // compiled guard), the last check's answers by scene, its
            // scenes, the failing verdict shown ("scene.verdict", or ''),
            // and a worker made ahead for its checks.
            guard:
                {text: '', real: '', inSession: '', checked: [], scenes: [], shown: '', spares: []},
            stateAsked: -1,  // the virtual ms whose state was last asked for
            drawing: false,  // a drawing is under way
            redraw: false,   // and another was asked for meanwhile
            drawnAt: 0,      // performance.now() when the last was asked for
            // Real ms between each write's time and its showing, for bench/lab_page.py.
            lateness: [],
            // The workers: the runner ahead of the clock, the drawer of the state
            // as it stands, and one for each long job (lab_tools.js).
            runner: null,
            drawer: null,
            searcher: null,
            checkers: [],  // the guard workshop's check under way
            requests: {next: 0, waiting: new Map(), pending: 0},  // to the runner and the drawer
            timers: {save: 0, search: 0, follow: 0, check: 0},
            ticking: false  // the clock's frames are asked for
        };
    }

    function makeWorker() {
        const source = $('engine').textContent + '\n' + $('worker-source').textContent;
        const worker =
            new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
        // A worker that fails outside a request (its module, its memory) says so.
        worker.onerror = (e) =>
            say(`A worker of the page failed: ${e.message || 'no reason given'}.`);
        return worker;
    }

    // Two workers run the session for the console: the runner ahead of the
    // clock, the drawer for the state as it stands and its timeline, so that a
    // drawing never holds up the writes to come.
    function startRunner(lab) {
        lab.runner = makeWorker();
        lab.runner.onmessage = (event) => answered(lab, event);
    }
    function answered(lab, event) {
        const reply = event.data, {requests} = lab;
        if (reply.kind === 'ready') {
            if (event.target === lab.runner)
                rerun(lab);
            return;
        }
        const done = requests.waiting.get(reply.id);
        requests.waiting.delete(reply.id);
        requests.pending--;
        document.body.dataset.pending = String(requests.pending);
        if (done)
            done(reply.answer);
    }
    function request(lab, worker, kind, fields, done) {
        const {requests} = lab, id = ++requests.next;
        requests.waiting.set(id, done);
        requests.pending++;
        document.body.dataset.pending = String(requests.pending);
        worker.postMessage(
            Object.assign({kind, id, session: lab.session, guard: lab.guard.inSession}, fields));
    }

    function say(text) { $('message').textContent = text; }

    // Runs ahead of the clock, so that the writes to come are known before
    // their time; then shows the state as it stands.
    // One run at a time: lines typed while one is under way are run together
    // after it, so that the last line's writes never wait behind stale runs.
    function rerun(lab) {
        if (lab.ahead) {
            lab.rerunWanted = true;
            return;
        }
        const session = lab.session;
        lab.ahead = true;
        request(
            lab, lab.runner, 'run',
            {bound: Math.min(Math.floor(lab.now) + AHEAD, LIMITS.ms), drawn: false}, (answer) => {
                lab.ahead = false;
                // The program starts once its first run is in hand: a fresh
                // worker's first run takes a few hundred ms (later ones a few), by
                // which the program's first writes would otherwise be shown late.
                if (!lab.started) {
                    lab.started = true;
                    setClock(lab, lab.base);
                    // The drawer is made now, not to slow that first run.
                    lab.drawer = makeWorker();
                    lab.drawer.onmessage = (event) => answered(lab, event);
                    request(lab, lab.drawer, 'code', {}, (code) => {
                        if (!code.error) {
                            lab.code = code;
                            if (lab.whenCode)
                                lab.whenCode(code);
                        }
                    });
                    document.body.dataset.ready = '1';
                    performance.mark('lab-ready');  // for bench/lab_page.py
                }
                if (lab.rerunWanted || session !== lab.session) {
                    lab.rerunWanted = false;
                    rerun(lab);
                    return;
                }
                if (answer.error) {
                    say(`The simulator failed: ${answer.error}`);
                    return;
                }
                lab.run = answer;
                lab.shown = -1;
                show(lab, true);
            });
    }

    // The state as it stands and the timeline, asked of the drawer one at a
    // time: a request made meanwhile is merged into the next.
    function askState(lab) {
        const at = Math.floor(lab.now);
        if (lab.stateAsked === at)
            return;
        if (lab.drawing) {
            lab.redraw = true;
            return;
        }
        lab.stateAsked = at;
        lab.drawing = true;
        lab.drawnAt = performance.now();
        request(lab, lab.drawer, 'run', {bound: at, drawn: true}, (answer) => {
            lab.drawing = false;
            if (answer.error)
                say(`The drawing of the state failed: ${answer.error}`);
            else
                LabState.show(lab, answer);
            if (lab.redraw) {
                lab.redraw = false;
                askState(lab);
            }
        });
    }

    function clockNow(lab) {
        return lab.pace > 0 && lab.started ?
            Math.min(LIMITS.ms, lab.base + (performance.now() - lab.origin) * lab.pace) :
            lab.base;
    }
    function setClock(lab, ms, pace) {
        if (!(ms <= LIMITS.ms)) {
            say(PAST_LIMIT);
            ms = LIMITS.ms;
        }
        lab.base = ms;
        lab.now = ms;
        lab.origin = performance.now();
        if (pace !== undefined)
            lab.pace = pace;
        wake(lab);
    }

    // Shows the writes whose time has come, once each change.
    function show(lab, force) {
        const run = lab.run;
        if (!run)
            return;
        let k = 0;
        while (k < run.writes.length && run.writes[k][0] <= lab.now)
            k++;
        const over = run.ended && lab.now >= run.endMs;
        if (!force && k === lab.shown && over === lab.over)
            return;
        const when = performance.now();
        // Writes up to shownUpTo were shown before: a run from the start gives
        // the same past. At the real pace, how late each new one comes.
        if (lab.pace === 1)
            for (let i = 0; i < k; i++)
                if (run.writes[i][0] > lab.shownUpTo)
                    lab.lateness.push(when - (lab.origin + (run.writes[i][0] - lab.base)));
        lab.shownUpTo = lab.now;
        lab.shown = k;
        lab.over = over;
        const files = Object.fromEntries(FILES.map((f) => [f, '']));
        let transcript = '';
        for (let i = 0; i < k; i++) {
            const [, , file, bytes, line] = run.writes[i];
            files[file] = (files[file] || '') + bytes;
            transcript += line;
        }
        if (over)
            transcript += run.ending;
        follow($('transcript'), transcript);
        for (const f of FILES)
            follow($('file-' + f), files[f]);
        askState(lab);
    }

    // A box's text, kept at its newest line unless the learner has scrolled
    // up from it to read.
    function follow(box, text) {
        if (box.textContent === text)
            return;
        const atEnd = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
        box.textContent = text;
        if (atEnd)
            box.scrollTop = box.scrollHeight;
    }

    // The clock's frame: the time shown, a run ahead when the last nears its
    // bound, the writes due, and now and then the state.
    function tick(lab) {
        lab.now = clockNow(lab);
        // Written only when it changes: a page at rest does no layout.
        const clock = `${Math.floor(lab.now)} ms`;
        if ($('clock').textContent !== clock)
            $('clock').textContent = clock;
        if (lab.run && !lab.run.ended && lab.run.bound < LIMITS.ms &&
            lab.now > lab.run.bound - AHEAD / 2 && !lab.ahead)
            rerun(lab);
        show(lab, false);
        // Threads go on between writes too: the drawing follows once a second.
        if (lab.run && lab.pace > 0 && performance.now() - lab.drawnAt > 1000 &&
            !(lab.run.ended && lab.stateAsked >= lab.run.endMs))
            askState(lab);
        // Paused, the clock stands: the page draws nothing until it moves.
        lab.ticking = lab.pace > 0 || lab.ahead;
        if (lab.ticking)
            requestAnimationFrame(() => tick(lab));
    }
    // The clock's frames again, after anything that moves it.
    function wake(lab) {
        if (!lab.ticking) {
            lab.ticking = true;
            requestAnimationFrame(() => tick(lab));
        }
    }

    // Types a line at the time on the clock; false, with a sentence, when it
    // cannot be typed.
    function type(lab, typed) {
        // "@19000 f", as a session file writes it: typed at 19 s, which is
        // still to come.
        const timed = /^@(\d+) (.*)$/.exec(typed);
        const at = timed ? Number(timed[1]) : Math.floor(lab.now);
        const text = timed ? timed[2] : typed;
        if (timed && !(at >= Math.floor(lab.now) && at <= LIMITS.ms)) {
            say(`"@${timed[1]}" is not to come: the clock shows ${
                Math.floor(lab.now)} ms, and goes on to ${
                LIMITS.ms.toLocaleString('en')} ms at most. The line was not typed.`);
            return false;
        }
        // The program is handed the session as a C string, which a NUL would end.
        if (text.includes('\0')) {
            say('A line cannot hold a NUL character here; it was not typed.');
            return false;
        }
        if (lab.session.split('\n').length > LIMITS.lines) {
            say(`A session holds at most ${LIMITS.lines} lines here.`);
            return false;
        }
        lab.session += `@${at} ${text}\n`;
        setClock(lab, at);
        showTyped(lab);
        rerun(lab);
        return true;
    }

    // Goes back to `ms`, to type differently from there: the lines typed at
    // or after it are taken back, and the program runs again from the
    // start. Gives how many were taken back.
    function rewind(lab, ms) {
        const lines = lab.session.split('\n').filter(Boolean);
        const kept = lines.filter((line) => {
            const timed = /^@(\d+) /.exec(line);
            return !timed || Number(timed[1]) < ms;
        });
        lab.session = kept.map((line) => line + '\n').join('');
        lab.choices = '';
        lab.shownUpTo = -1;
        setClock(lab, ms);
        showTyped(lab);
        rerun(lab);
        return lines.length - kept.length;
    }

    function showTyped(lab) {
        $('typed').textContent = lab.session;
        saveLink(lab);
    }

    // The link: #level=<name> of the level open, #session=<text>&choices=<n,n,...>, and the
    // learner's guard (guard=<text>), whether the session runs it (use=1) and the failing verdict
    // shown (shown=<scene>.<verdict>).
    function linkHash(lab) {
        const params = new URLSearchParams();
        if (lab.level)
            params.set('level', lab.level);
        params.set('session', lab.session);
        if (lab.choices)
            params.set('choices', lab.choices);
        // Where the clock stood, so that the link comes back there.
        if (Math.floor(lab.now) > 0)
            params.set('at', String(Math.floor(lab.now)));
        const {guard} = lab;
        if (guard.text && guard.text !== guard.real)
            params.set('guard', guard.text);
        if (guard.inSession && guard.inSession === guard.text)
            params.set('use', '1');
        if (guard.shown)
            params.set('shown', guard.shown);
        return '#' + params.toString();
    }
    // Into the address a moment after the last change.
    function saveLink(lab) {
        clearTimeout(lab.timers.save);
        lab.timers.save = setTimeout(() => {
            try {
                history.replaceState(null, '', linkHash(lab));
            } catch (e) {
                // Some browsers refuse it for a file; the copied link still holds it.
            }
        }, 200);
    }

    return Object.freeze({
        FILES,
        LIMITS,
        PAST_LIMIT,
        create,
        makeWorker,
        startRunner,
        say,
        rerun,
        clockNow,
        setClock,
        tick,
        type,
        rewind,
        showTyped,
        linkHash,
        saveLink
    });
})();
