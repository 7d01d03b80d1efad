// The lab's worker, run after the WebAssembly module's script (LabEngine) in
// one Blob: it answers the page's requests with the simulator's answers.
// { kind: 'run', session, guard, bound, drawn } -> the run up to `bound` ms;
// { kind: 'search', session, guard, maxStates } -> every schedule, with
// { kind: 'progress', steps } now and then; { kind: 'explore', session, guard }
// -> the session's explorer page; { kind: 'code' } -> the guard's code;
// { kind: 'check', text, scenes: [[readers, writers, readRounds,
// writeRounds]...], maxStates } -> { kind: 'checked', scene, answer } for
// each scene as its check ends (with progress meanwhile), then the answer
// { done: true }; { kind: 'schedule', text, scene, choices } -> where each
// thread stands in the text once a verdict's schedule is played;
// { kind: 'guardexplore', text, scene } -> the text's explorer page on the
// scene, beside the real guard's; { kind: 'level', name } -> a level's page;
// { kind: 'leveltext', name } -> a fixing level's guard text. `guard` is the guard text the
// session's guards run, or '' for the compiled guard. Each answer carries the request's id. Nothing
// is left in the worker's scope but the module's LabEngine.
(() => {
    'use strict';
    const engine = LabEngine({print: () => {}, printErr: () => {}});

    // Calls an entry point with `texts` as C strings and then its numbers,
    // and reads the answer it leaves (a call's own return is lost to the
    // fibers).
    function ask(m, entry, texts, ...numbers) {
        const made = texts.map((t) => {
            const size = m.lengthBytesUTF8(t) + 1;
            const text = m._malloc(size);
            m.stringToUTF8(t, text, size);
            return text;
        });
        try {
            m[entry](...made, ...numbers);
        } finally {
            made.forEach((text) => m._free(text));
        }
        return m.UTF8ToString(m._lab_answer(), m._lab_answer_size());
    }

    function check(m, r) {
        r.scenes.forEach((s, scene) => {
            const answer = JSON.parse(ask(m, '_lab_check_guard', [r.text], ...s, r.maxStates));
            postMessage({kind: 'checked', id: r.id, scene, answer});
        });
        return {done: true};
    }

    self.onmessage = async (event) => {
        const m = await engine;
        const r = event.data;
        const guard = r.guard || '';
        let answer;
        try {
            if (r.kind === 'run')
                answer =
                    JSON.parse(ask(m, '_lab_run', [r.session, guard], r.bound, r.drawn ? 1 : 0));
            else if (r.kind === 'search')
                answer = JSON.parse(ask(m, '_lab_every_schedule', [r.session, guard], r.maxStates));
            else if (r.kind === 'code')
                answer = JSON.parse(ask(m, '_lab_guard_code', []));
            else if (r.kind === 'check')
                answer = check(m, r);
            else if (r.kind === 'schedule')
                answer = JSON.parse(ask(m, '_lab_guard_schedule', [r.text, r.choices], ...r.scene));
            else if (r.kind === 'level')
                answer = {html: ask(m, '_lab_level_page', [r.name])};
            else if (r.kind === 'leveltext')
                answer = JSON.parse(ask(m, '_lab_level_text', [r.name]));
            else if (r.kind === 'guardexplore')
                answer = {html: ask(m, '_lab_explore_guard', [r.text], ...r.scene)};
            else
                answer = {html: ask(m, '_lab_explore_page', [r.session, guard])};
        } catch (error) {
            answer = {error: String(error)};
        }
        postMessage({kind: r.kind, id: r.id, answer});
    };
    engine.then(() => postMessage({kind: 'ready'}));
})();
