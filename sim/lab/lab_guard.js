// The guard workshop: the learner's guard text in an editor, every schedule
// of it checked on guard scenes in workers, the verdicts (lab_verdicts.js),
// and the text put in the session's guards and the link. The text is untrusted (typed, pasted or
// from a link): it reaches the page only as text.
const LabWorkshop = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const Console = LabConsole;
    const {showVerdicts, showSchedule} = LabVerdicts;
    const {LIMITS} = Console;

    // The two scenes every check runs, then the learner's own when asked:
    // [readers, writers, readRounds, writeRounds], 0 rounds for ever.
    const DEFAULT_SCENES = [[2, 2, 2, 2], [2, 2, 0, 2]];
    const SCENE_BOUNDS = {threads: 3, rounds: 3};

    // The real guard's four sequences as the editor first shows them, from
    // the code the drawer read from the guard's source.
    function realGuardText(code) {
        return code.sequences.map((s) => s.text.join('\n')).join('\n\n') + '\n';
    }

    // The editor's line numbers, one per line of the text.
    function numberLines() {
        const n = $('guardtext').value.split('\n').length;
        $('gutter').textContent = Array.from({length: n}, (_, i) => String(i + 1)).join('\n');
        $('gutter').scrollTop = $('guardtext').scrollTop;
    }
    function setText(lab, text) {
        lab.guard.text = text;
        $('guardtext').value = text;
        numberLines();
    }

    // The learner's scene, bounded to what checks in seconds; null unless asked.
    function ownScene() {
        if (!$('ownscene').checked)
            return null;
        const read = (id, low, high) =>
            Math.min(high, Math.max(low, Math.floor(Number($(id).value) || 0)));
        return [
            read('sreaders', 1, SCENE_BOUNDS.threads), read('swriters', 1, SCENE_BOUNDS.threads),
            read('sreadrounds', 0, SCENE_BOUNDS.rounds),
            read('swriterounds', 0, SCENE_BOUNDS.rounds)
        ];
    }

    // The warming check's scenes: one of rounds, and one for ever, in which
    // fair cycles are looked for.
    const WARM_SCENES = [[1, 2, 2, 2], [1, 2, 0, 1]];
    // A worker made ahead, its module compiled and warmed by a small check
    // of `text` (the browser compiles the code that runs most again, to run
    // faster), so that a check starts at once at full speed: taken by a
    // check and made anew after.
    function spare(text) {
        const worker = Console.makeWorker();
        const made = {worker, ready: false, start: null, handle: null};
        const ready = () => {
            made.ready = true;
            if (made.start)
                made.start();
        };
        worker.onmessage = (event) => {
            const kind = event.data.kind;
            if (made.ready) {
                if (made.handle)
                    made.handle(event.data);
            } else if (kind === 'ready' && text) {
                worker.postMessage(
                    {kind: 'check', id: 'warm', text, scenes: WARM_SCENES, maxStates: 100000});
            } else if (kind === 'ready' || kind === 'check') {
                ready();  // what the warming check says is not the learner's
            }
        };
        return made;
    }
    // A worker that `start`s once its module is ready, its answers told to `handle`.
    function takeWorker(lab, start, handle) {
        const made = lab.guard.spares.shift() || spare('');
        made.handle = handle;
        if (made.ready)
            setTimeout(start);
        else
            made.start = start;
        return made.worker;
    }
    // As many as the default check takes: a worker a scene.
    function makeSpares(lab) {
        while (lab.guard.spares.length < DEFAULT_SCENES.length)
            lab.guard.spares.push(spare(lab.guard.real));
    }

    function stopChecker(lab) {
        for (const worker of lab.checkers)
            worker.terminate();
        lab.checkers = [];
        clearTimeout(lab.timers.check);
        $('check').disabled = false;
        $('checkstop').disabled = true;
        $('checkprogress').hidden = true;
    }

    // The reader's sentence at its line and column, with the caret there.
    function refuse(lab, error) {
        const lines = $('guardtext').value.split('\n');
        const line = Math.min(Math.max(error.line, 1), lines.length);
        // The column counts bytes; the editor counts UTF-16 units.
        const bytes =
            new TextEncoder().encode(lines[line - 1]).slice(0, Math.max(error.column - 1, 0));
        let at = new TextDecoder().decode(bytes).length;
        for (let i = 0; i < line - 1; i++)
            at += lines[i].length + 1;
        $('guarderror').textContent =
            `Line ${error.line}, column ${error.column}: ${error.message}`;
        $('guardtext').focus();
        $('guardtext').setSelectionRange(at, Math.min(at + 1, $('guardtext').value.length));
    }

    // Checks the text on each scene, each in a worker of its own, all at
    // once, which a stop or the time bound ends; each scene's verdicts are
    // shown as its check ends.
    function check(lab, shown) {
        stopChecker(lab);
        const text = $('guardtext').value;
        lab.guard.text = text;
        lab.guard.checked = [];
        lab.guard.shown = '';
        $('guarderror').textContent = '';
        $('verdicts').replaceChildren();
        $('shownschedule').replaceChildren();
        delete document.body.dataset.checked;
        Console.saveLink(lab);
        if (text.length > LIMITS.guard) {
            $('guarderror').textContent = `A guard text holds at most ${
                LIMITS.guard.toLocaleString(
                    'en')} characters; this one has ${text.length.toLocaleString('en')}.`;
            return;
        }
        const scenes = DEFAULT_SCENES.concat(ownScene() ? [ownScene()] : []);
        lab.guard.scenes = scenes;
        const maxStates = Math.max(1, Math.floor(Number($('guardstates').value) || 400000));
        const seconds = Math.max(1, Number($('guardseconds').value) || 30);
        const started = performance.now();
        $('check').disabled = true;
        $('checkstop').disabled = false;
        $('checkprogress').hidden = false;
        $('checknote').textContent = 'checking…';
        const done = () => lab.guard.checked.filter(Boolean).length;
        lab.timers.check = setTimeout(() => {
            stopChecker(lab);
            $('checknote').textContent = `Stopped at the bound of ${seconds} s: ${done()} of ${
                scenes.length} scenes checked, shown below; the rest were not.`;
        }, seconds * 1000);
        const finish = () => {
            const ms = Math.round(performance.now() - started);
            stopChecker(lab);
            makeSpares(lab);
            const all = lab.guard.checked, failed = all.find((c) => c.error);
            $('checknote').textContent = failed ?
                `The check failed: ${failed.error}` :
                `Every schedule of ${all.length} scenes checked in ${ms} ms` +
                    (all.every((c) => c.complete) ? '.' :
                                                    `; some scene met the bound of ${
                                                        maxStates.toLocaleString('en')} states, ` +
                             'and its verdicts are over the states it met.');
            document.body.dataset.checked = String(ms);  // for the checks and the benchmark
            if (lab.onChecked && !failed)
                lab.onChecked(all);
            if (shown)
                showSchedule(lab, shown);
        };
        const steps = scenes.map(() => 0);
        let ended = 0;
        lab.checkers = scenes.map((scene, index) => {
            const worker = takeWorker(
                lab,
                () => worker.postMessage({kind: 'check', id: 0, text, scenes: [scene], maxStates}),
                (reply) => {
                    if (reply.kind === 'progress') {
                        steps[index] = reply.steps;
                        $('checknote').textContent = `checking ${scenes.length - done()} of ${
                            scenes.length} scenes… ${
                            steps.reduce((a, b) => a + b).toLocaleString('en')} steps looked at`;
                    } else if (reply.kind === 'checked') {
                        const a = reply.answer;
                        if (a.error && typeof a.error === 'object') {
                            stopChecker(lab);
                            makeSpares(lab);
                            $('checknote').textContent = 'The text was not checked.';
                            refuse(lab, a.error);
                            return;
                        }
                        lab.guard.checked[index] = a;
                        showVerdicts(lab);
                    } else if (reply.kind === 'check') {
                        if (reply.answer.error)
                            lab.guard.checked[index] = {error: reply.answer.error};
                        if (++ended === scenes.length)
                            finish();
                    }
                });
            return worker;
        });
    }

    function useInSession(lab) {
        lab.guard.inSession = $('guardtext').value;
        lab.guard.text = lab.guard.inSession;
        $('usenote').textContent = 'The console, every schedule of the session and the ' +
            'scheduler now run your guard.';
        Console.saveLink(lab);
        Console.rerun(lab);
    }
    function backToReal(lab) {
        stopChecker(lab);
        if (lab.guard.real)
            setText(lab, lab.guard.real);
        lab.guard.checked = [];
        lab.guard.shown = '';
        $('verdicts').replaceChildren();
        $('shownschedule').replaceChildren();
        $('guarderror').textContent = '';
        $('checknote').textContent = '';
        if (lab.guard.inSession) {
            lab.guard.inSession = '';
            $('usenote').textContent = 'The session runs the real guard again.';
            Console.rerun(lab);
        }
        Console.saveLink(lab);
    }

    // Restores a link's guard: the text, its check and the schedule shown;
    // anything wrong with it is said, and the real guard stays.
    function restore(lab, fragment) {
        const params = new URLSearchParams(fragment.slice(1));
        const text = params.get('guard');
        if (text === null)
            return;
        const shown = params.get('shown') || '';
        if (text.length > LIMITS.guard || !/^([0-9]+\.[0-9]+)?$/.test(shown)) {
            $('guarderror').textContent = `This link's guard cannot be opened: it is longer than ${
                LIMITS.guard.toLocaleString(
                    'en')} characters, or names no verdict. The real guard stays.`;
            return;
        }
        setText(lab, text);
        if (params.get('use') === '1')
            lab.guard.inSession = text;
        check(lab, shown);
    }

    function start(lab) {
        const area = $('guardtext');
        area.addEventListener('input', () => {
            lab.guard.text = area.value;
            numberLines();
            Console.saveLink(lab);
        });
        area.addEventListener('scroll', () => ($('gutter').scrollTop = area.scrollTop));
        // Tab moves the focus on, unless the learner asks it to indent.
        area.addEventListener('keydown', (e) => {
            if (e.key === 'Tab' && !e.shiftKey && $('tabindents').checked) {
                e.preventDefault();
                area.setRangeText('    ', area.selectionStart, area.selectionEnd, 'end');
                area.dispatchEvent(new Event('input'));
            }
        });
        $('check').onclick = () => check(lab, '');
        $('checkstop').onclick = () => {
            stopChecker(lab);
            $('checknote').textContent = 'Stopped: not every schedule was seen.';
        };
        $('realguard').onclick = () => backToReal(lab);
        $('useguard').onclick = () => useInSession(lab);
        lab.whenCode = (code) => {
            lab.guard.real = realGuardText(code);
            makeSpares(lab);
            if (!lab.guard.text)
                setText(lab, lab.guard.real);
            if (lab.guard.shown)
                showSchedule(lab, lab.guard.shown);
        };
        numberLines();
    }

    return Object.freeze({start, restore, check, setText});
})();
