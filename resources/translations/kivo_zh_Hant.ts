<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_Hant">
<context>
    <name>Application</name>
    <message>
        <source>Convert all text</source>
        <translation>轉換全文</translation>
    </message>
    <message>
        <source>Convert selection only</source>
        <translation>只轉換選取文字</translation>
    </message>
    <message>
        <source>Cancelled. Original retained.</source>
        <translation>已取消；原文保留。</translation>
    </message>
    <message>
        <source>Original changed. Convert again.</source>
        <translation>原文已修改；請重新轉換。</translation>
    </message>
    <message>
        <source>Text loaded. Click Convert manually to process.</source>
        <translation>已載入文字；按「手動轉換」處理。</translation>
    </message>
    <message>
        <source>On-device · Review before copying</source>
        <translation>本機處理 · 輸出請檢閱</translation>
    </message>
</context>
<context>
    <name>Conversion</name>
    <message>
        <source>Processing %1 (up to 30 s each)…</source>
        <translation>%m處理中 %1（每段最多 30 秒）…</translation>
    </message>
    <message>
        <source>Processing (up to 30 s)…</source>
        <translation>%m處理中（最多 30 秒）…</translation>
    </message>
    <message>
        <source>Completed in %1 s.</source>
        <translation>%m完成 · %1 秒。</translation>
    </message>
    <message>
        <source> Review before copying.</source>
        <translation> 可檢閱後複製。</translation>
    </message>
    <message>
        <source>Review needed · %1 s. Output may retain colloquial wording or change meaning. Compare with the original; not inserted.</source>
        <translation>需要檢閱 · %1 秒。結果可能仍有口語或語意偏差；請核對原文。沒有自動填入。</translation>
    </message>
    <message>
        <source>%1 of about %2 tokens written</source>
        <translation>已寫 %1 / 約 %2 個詞元</translation>
    </message>
</context>
<context>
    <name>DeliveryOutcomeText</name>
    <message>
        <source> · Inserted into the current input</source>
        <translation> · 已填入目前輸入框</translation>
    </message>
    <message>
        <source> · Accessibility access required; result kept in Kivo</source>
        <translation> · 需輔助使用權限；結果留在 Kivo</translation>
    </message>
    <message>
        <source> · No input focused; result kept in Kivo</source>
        <translation> · 沒有輸入框；結果留在 Kivo</translation>
    </message>
    <message>
        <source> · The focused application has no input Kivo can check; result kept in Kivo to copy</source>
        <translation> · 目前的應用程式沒有 Kivo 能核對的輸入框；結果留在 Kivo，可手動複製</translation>
    </message>
    <message>
        <source> · Password fields are never filled automatically; result kept in Kivo</source>
        <translation> · 密碼欄永不自動填入；結果留在 Kivo</translation>
    </message>
    <message>
        <source> · Input cannot be filled automatically; copy manually</source>
        <translation> · 此輸入框無法自動填入；請手動複製</translation>
    </message>
    <message>
        <source> · Input or modifier keys changed; result kept in Kivo</source>
        <translation> · 輸入目標或按鍵狀態已變動；結果留在 Kivo</translation>
    </message>
    <message>
        <source> · Nothing was inserted; the result is ready to copy</source>
        <translation> · 沒有填入任何內容；結果可供複製</translation>
    </message>
    <message>
        <source> · Write unconfirmed; check the target before copying. Not retried</source>
        <translation> · 寫入狀態未確認，請先檢查目標；沒有重試</translation>
    </message>
</context>
<context>
    <name>ModelAdvice</name>
    <message>
        <source>Kivo reads %1.</source>
        <translation>Kivo 讀取 %1。</translation>
    </message>
    <message>
        <source>The installed speech model is not a multilingual whisper model, so it cannot recognise Cantonese. Replace it.</source>
        <translation>已安裝的語音模型不是多語言 whisper 模型，無法辨識粵語。請換一個。</translation>
    </message>
    <message>
        <source>No speech model is installed. Download one.</source>
        <translation>未安裝語音模型。請下載一個。</translation>
    </message>
    <message>
        <source>No speech-model.bin in %1.</source>
        <translation>%1 中沒有 speech-model.bin。</translation>
    </message>
    <message>
        <source>The speech model could not be loaded. Download it again or choose another.</source>
        <translation>語音模型無法載入。請重新下載或換一個。</translation>
    </message>
    <message>
        <source>No language model is installed. Download one.</source>
        <translation>未安裝語言模型。請下載一個。</translation>
    </message>
    <message>
        <source>The language model file is not a usable GGUF chat model. Download it again or choose another.</source>
        <translation>語言模型檔案不是可用的 GGUF 對話模型。請重新下載或換一個。</translation>
    </message>
    <message>
        <source>The language model file cannot be read. Check its permissions, or download it again.</source>
        <translation>無法讀取語言模型檔案。請檢查它的權限，或重新下載。</translation>
    </message>
    <message>
        <source>This computer&apos;s processor cannot run the language model; speech recognition still works.</source>
        <translation>這部電腦的處理器無法執行語言模型；語音辨識仍可使用。</translation>
    </message>
    <message>
        <source>The language model could not start. Reinstall Kivo.</source>
        <translation>語言模型無法啟動。請重新安裝 Kivo。</translation>
    </message>
    <message>
        <source>The speech and language models are not installed yet.</source>
        <translation>尚未安裝語音模型及語言模型。</translation>
    </message>
    <message>
        <source>The speech model is not installed yet, so recording cannot be recognised.</source>
        <translation>尚未安裝語音模型，無法錄音辨識。</translation>
    </message>
    <message>
        <source>The language model is not installed yet, so text cannot be converted.</source>
        <translation>尚未安裝語言模型，無法轉換文字。</translation>
    </message>
    <message>
        <source>Click here to open Models ›</source>
        <translation>按此處開啟「模型」視窗 ›</translation>
    </message>
</context>
<context>
    <name>ModelRecommendation</name>
    <message>
        <source>Recommended for this computer (%1 s per second of audio)</source>
        <translation>建議此電腦使用（每秒錄音 %1 秒）</translation>
    </message>
    <message>
        <source>Recommended for this computer (about %1 s for a long conversion)</source>
        <translation>建議此電腦使用（長篇轉換約 %1 秒）</translation>
    </message>
</context>
<context>
    <name>ModelText</name>
    <message>
        <source>%1 of %2</source>
        <translation>%1／%2</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 小時 %2 分</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 分 %2 秒</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>%1 kept; Download continues from there.</source>
        <translation>已保留 %1；再按「下載」會從這裡繼續。</translation>
    </message>
    <message>
        <source>Downloaded %1; checking the file and trying to load it…</source>
        <translation>已下載 %1；正在檢查檔案及試載模型…</translation>
    </message>
    <message>
        <source>%1</source>
        <comment>amount downloaded so far</comment>
        <translation>已下載 %1</translation>
    </message>
    <message>
        <source> · %1/s</source>
        <translation> · 每秒 %1</translation>
    </message>
    <message>
        <source> · %1 left</source>
        <translation> · 尚餘 %1</translation>
    </message>
    <message>
        <source> · licence %1</source>
        <translation> · 授權 %1</translation>
    </message>
    <message>
        <source> · knows Cantonese</source>
        <translation> · 懂粵語</translation>
    </message>
    <message>
        <source> · Cantonese (fine-tuned)</source>
        <translation> · 粵語（微調）</translation>
    </message>
    <message>
        <source> · run as Mandarin</source>
        <translation> · 以普通話辨識</translation>
    </message>
    <message>
        <source>Speech model (recognition)</source>
        <translation>語音模型（辨識）</translation>
    </message>
    <message>
        <source>Language model (conversion)</source>
        <translation>語言模型（轉換）</translation>
    </message>
    <message>
        <source>Not installed: no file at %1.</source>
        <translation>未安裝：找不到 %1。</translation>
    </message>
    <message>
        <source>Installed %1: %2.</source>
        <translation>已安裝 %1：%2。</translation>
    </message>
    <message>
        <source>Removed %1.</source>
        <translation>已刪除 %1。</translation>
    </message>
</context>
<context>
    <name>ModelsWindow</name>
    <message>
        <source>Choose a model file</source>
        <translation>選擇模型檔案</translation>
    </message>
    <message>
        <source>GGUF models (*.gguf);;All files (*)</source>
        <translation>GGUF 模型 (*.gguf);;所有檔案 (*)</translation>
    </message>
    <message>
        <source>whisper ggml models (*.bin);;All files (*)</source>
        <translation>whisper ggml 模型 (*.bin);;所有檔案 (*)</translation>
    </message>
    <message>
        <source>Models</source>
        <translation>模型</translation>
    </message>
    <message>
        <source>Checking the installed file…</source>
        <translation>正在檢查已安裝的檔案…</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下載</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Use a file on disk…</source>
        <translation>使用磁碟上的檔案…</translation>
    </message>
    <message>
        <source>Remove…</source>
        <translation>刪除…</translation>
    </message>
    <message>
        <source>Catalogue: %1 · installs into %2</source>
        <translation>模型目錄：%1&#x3000;·&#x3000;安裝到 %2</translation>
    </message>
    <message>
        <source>built in</source>
        <translation>內置</translation>
    </message>
    <message>
        <source>No catalogue</source>
        <translation>沒有模型目錄</translation>
    </message>
    <message>
        <source>Reading the catalogue…</source>
        <translation>正在讀取模型目錄…</translation>
    </message>
    <message>
        <source>Measuring this computer&apos;s speed (at idle priority, about a minute)…</source>
        <translation>正在量度這部電腦的速度（低優先次序，約一分鐘）…</translation>
    </message>
    <message>
        <source>Could not measure this computer: </source>
        <translation>無法量度這部電腦：</translation>
    </message>
    <message>
        <source>This computer (%1), encoder seconds per second of audio: %2; live speech needs at most %3</source>
        <translation>這部電腦（%1）每秒錄音的編碼時間（秒）：%2；即時辨識上限 %3</translation>
    </message>
    <message>
        <source>. Measured while the computer was busy (load average %1): too slow, not kept.</source>
        <translation>。量度時電腦正忙（平均負載 %1），數字偏慢，不會保存。</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>正在連線…</translation>
    </message>
    <message>
        <source>Downloading %1 from %2.</source>
        <translation>正在從 %2 下載 %1。</translation>
    </message>
    <message>
        <source>Copying and checking the file…</source>
        <translation>正在複製及檢查檔案…</translation>
    </message>
    <message>
        <source>Importing %1.</source>
        <translation>正在匯入 %1。</translation>
    </message>
    <message>
        <source>Remove %1? Recordings cannot be recognised until another speech model is installed.</source>
        <translation>要刪除 %1 嗎？在安裝另一個語音模型前，錄音將無法辨識。</translation>
    </message>
    <message>
        <source>Remove %1? Text cannot be converted until another language model is installed.</source>
        <translation>要刪除 %1 嗎？在安裝另一個語言模型前，文字將無法轉換。</translation>
    </message>
    <message>
        <source>The server does not resume downloads, so the file came whole again. %1</source>
        <translation>伺服器不支援續傳，所以重新下載了整個檔案。%1</translation>
    </message>
</context>
<context>
    <name>OutputMode</name>
    <message>
        <source>Cantonese</source>
        <translation>粵語</translation>
    </message>
    <message>
        <source>Keep Cantonese words; tidy punctuation and spacing.</source>
        <translation>保留粵語原句，只整理標點與空格。</translation>
    </message>
    <message>
        <source>Traditional Chinese</source>
        <translation>繁體中文</translation>
    </message>
    <message>
        <source>Convert Cantonese into natural Traditional written Chinese.</source>
        <translation>粵語轉成自然的繁體書面語，保留原意。</translation>
    </message>
    <message>
        <source>Simplified Chinese</source>
        <translation>簡體中文</translation>
    </message>
    <message>
        <source>Convert Cantonese into written Chinese, then Simplified characters.</source>
        <translation>粵語先轉書面語，再轉成簡體字；保留原意。</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英文</translation>
    </message>
    <message>
        <source>Translate Cantonese into natural English without summarizing or adding content.</source>
        <translation>整理粵語語意並翻譯成自然英文，不摘要或擴寫。</translation>
    </message>
</context>
<context>
    <name>PanelShortcut</name>
    <message>
        <source>Right Super (tap)</source>
        <translation>右 Super（單按）</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>停用</translation>
    </message>
</context>
<context>
    <name>Recording</name>
    <message>
        <source>Final STT transcript</source>
        <translation>STT 最終原文</translation>
    </message>
    <message>
        <source>Recognizing — provisional transcript</source>
        <translation>辨識中 — 暫定原文</translation>
    </message>
    <message>
        <source>Waiting for microphone permission…</source>
        <translation>等候麥克風權限…</translation>
    </message>
    <message>
        <source>Preparing local Cantonese speech recognition…</source>
        <translation>準備本機粵語辨識模型…</translation>
    </message>
    <message>
        <source>Recording stopped. Waiting for final transcript (up to 10 s)…</source>
        <translation>已停止錄音，等待最終辨識（最多 10 秒）…</translation>
    </message>
    <message>
        <source>Recording %1 / 60 s — click Stop recording to finish.</source>
        <translation>錄音中 %1 / 60 秒 — 按「停止錄音」完成。</translation>
    </message>
    <message>
        <source>Recognition complete. STT text is available in Original.</source>
        <translation>辨識完成；原文區保留 STT 文字。</translation>
    </message>
    <message>
        <source>No words to process. Record again; not automatically sent to the language model.</source>
        <translation>沒有可處理的文字，請重新錄音；沒有自動交給語言模型。</translation>
    </message>
    <message>
        <source>Numbers-only result. Check recognition, then click Convert. Original unchanged.</source>
        <translation>結果只有數字，請先確認是否聽錯；確認後按「轉換文字」。原文未改動。</translation>
    </message>
    <message>
        <source>Hesitation-only result. Review first; not automatically sent to the language model.</source>
        <translation>結果只有語氣聲，請先檢閱；沒有自動交給語言模型。</translation>
    </message>
    <message>
        <source>Recording cancelled or no final text. Previous text retained; nothing sent to the language model.</source>
        <translation>錄音已取消或沒有最終文字；錄音前文字已保留，未交給語言模型。</translation>
    </message>
    <message>
        <source>Recognition failed: %1. Previous text retained.</source>
        <translation>辨識未完成：%1；錄音前文字已保留。</translation>
    </message>
    <message>
        <source>Restored the last completed STT transcript.</source>
        <translation>已還原最近一次成功的 STT 原文。</translation>
    </message>
    <message>
        <source>Recognition details</source>
        <translation>本次辨識明細</translation>
    </message>
    <message>
        <source>Alternatives and confidence may be unavailable. They do not prove correctness. Kept in memory only.</source>
        <translation>候選及信心值由辨識引擎提供，可能沒有；它們不能證明文字正確。只保留於記憶體。</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>關閉</translation>
    </message>
    <message>
        <source>Copy details</source>
        <translation>複製明細</translation>
    </message>
</context>
<context>
    <name>RecordingShortcut</name>
    <message>
        <source>The global Right Super tap and automatic insertion need the desktop&apos;s accessibility setting. Turn it on with the button below or in the desktop&apos;s settings; the change is detected automatically.</source>
        <translation>全域右 Super 及自動填入需要桌面的輔助使用設定。請按下方按鈕或在桌面設定中開啟；程式會自動偵測。</translation>
    </message>
    <message>
        <source>Shortcut unavailable (%1). Choose another combination.</source>
        <translation>快捷鍵註冊失敗（%1），請改選另一組。</translation>
    </message>
    <message>
        <source>Shortcut disabled. You can still use the microphone button.</source>
        <translation>快捷鍵已停用；仍可在浮窗按麥克風錄音。</translation>
    </message>
    <message>
        <source>Press to start, press again to stop. Processes in the background without switching apps.</source>
        <translation>按一下開始錄音，再按一下停止；背景處理，不切換目前 App。</translation>
    </message>
    <message>
        <source>Accessibility is on. Apps that were already running may need a restart for automatic insertion.</source>
        <translation>已開啟輔助使用；已在執行的 App 可能需要重新啟動才能使用自動填入。</translation>
    </message>
    <message>
        <source>Could not turn on Accessibility: the accessibility service did not answer.</source>
        <translation>無法開啟輔助使用：系統的輔助使用服務沒有回應。</translation>
    </message>
</context>
<context>
    <name>RestartError</name>
    <message>
        <source>Restart helper is missing. Rebuild the app.</source>
        <translation>重新啟動工具遺失，請重新建置 App。</translation>
    </message>
    <message>
        <source>Could not restart: %1</source>
        <translation>無法重新啟動：%1</translation>
    </message>
</context>
<context>
    <name>RunFailureMessage</name>
    <message>
        <source>The text is too long for the on-device model. Shorten it, or select part of it and convert that.</source>
        <translation>文字太長，本機模型一次處理不了。請縮短文字，或選取其中一部分再轉換。</translation>
    </message>
    <message>
        <source>The on-device model does not support this language. Choose another output language.</source>
        <translation>本機語言模型不支援這個語言。請改選其他輸出語言。</translation>
    </message>
    <message>
        <source>The model&apos;s answer ran too long and was not finished, so it was withheld. Shorten the text, or select part of it and convert that.</source>
        <translation>模型的回答太長，沒有寫完，所以沒有採用。請縮短文字，或選取其中一部分再轉換。</translation>
    </message>
    <message>
        <source>The model changed a protected name or number, so the result was withheld. Convert a shorter selection, or edit the text yourself.</source>
        <translation>模型改動了受保護的名稱或數字，所以沒有採用結果。請選取較短的一段再轉換，或自行修改文字。</translation>
    </message>
    <message>
        <source>The text contains Kivo&apos;s reserved marker “⟦KIVO7_”, so names and numbers cannot be protected. Remove the marker and convert again.</source>
        <translation>原文含有 Kivo 保留的標記「⟦KIVO7_」，無法保護其中的名稱和數字。請刪去這個標記再轉換。</translation>
    </message>
    <message>
        <source>The language model&apos;s runner stopped unexpectedly without a reply (the model file may be damaged, or memory ran out).</source>
        <translation>語言模型執行程式意外終止，沒有回覆（可能是模型檔案損壞或記憶體不足）。</translation>
    </message>
    <message>
        <source>The language model&apos;s runner was ended by signal %1 without a reply (the model file may be damaged, or memory ran out).</source>
        <translation>語言模型執行程式被訊號 %1 終止，沒有回覆（可能是模型檔案損壞或記憶體不足）。</translation>
    </message>
    <message>
        <source>The language model&apos;s runner exited with status %1 without a reply. Reinstall Kivo.</source>
        <translation>語言模型執行程式以狀態 %1 結束，沒有回覆。請重新安裝 Kivo。</translation>
    </message>
    <message>
        <source>The language model&apos;s runner gave no reply. Reinstall Kivo.</source>
        <translation>語言模型執行程式沒有回覆。請重新安裝 Kivo。</translation>
    </message>
    <message>
        <source>The language model&apos;s runner&apos;s reply could not be read (not a JSON object). Reinstall Kivo.</source>
        <translation>語言模型執行程式的回覆無法讀取（不是 JSON 物件）。請重新安裝 Kivo。</translation>
    </message>
    <message>
        <source>Unable to obtain the language model&apos;s process lock. Check that /tmp is writable and try again.</source>
        <translation>無法取得語言模型執行鎖。請確認 /tmp 可以寫入後重試。</translation>
    </message>
    <message>
        <source>The language model&apos;s process lock %1 is unsafe (not your file, permissions other than 0600, or a link). Delete it and try again.</source>
        <translation>語言模型執行鎖 %1 不安全（不是你的檔案、權限不是 0600，或是連結）；請刪除它後重試。</translation>
    </message>
    <message>
        <source>Another language model test is running. Try again later.</source>
        <translation>另一個語言模型測試正在執行，請稍後重試。</translation>
    </message>
    <message>
        <source>Could not start the language model&apos;s runner %1: %2. Reinstall Kivo.</source>
        <translation>無法啟動語言模型執行程式 %1：%2。請重新安裝 Kivo。</translation>
    </message>
    <message>
        <source>The language model stopped after 30 seconds. Original retained.</source>
        <translation>語言模型超過 30 秒，已停止；原文保留。</translation>
    </message>
    <message>
        <source>The language model gave no result. Convert again.</source>
        <translation>語言模型沒有產生結果。請再轉換一次。</translation>
    </message>
    <message>
        <source>The language model returned an empty result. Convert again, or reword the original.</source>
        <translation>語言模型回傳空白結果。請再轉換一次，或改寫原文。</translation>
    </message>
</context>
<context>
    <name>SpeechDetails</name>
    <message>
        <source>On-device</source>
        <translation>本機</translation>
    </message>
    <message>
        <source> | Last %1, recording + finish: </source>
        <translation> ｜上次 %1 錄音＋收尾：</translation>
    </message>
    <message>
        <source>, </source>
        <comment>list separator</comment>
        <translation>、</translation>
    </message>
    <message>
        <source>Incomplete provisional text (not final): </source>
        <translation>未完成的暫定文字（不作最終結果）：</translation>
    </message>
    <message>
        <source>Final transcript</source>
        <translation>最終原文</translation>
    </message>
    <message>
        <source>Provisional text kept: finishing ran out of time</source>
        <translation>收尾時間不足，保留暫定文字</translation>
    </message>
    <message>
        <source>SDK confidence (not accuracy): </source>
        <translation>SDK 信心值（不是正確率）：</translation>
    </message>
    <message>
        <source>Segment alternatives (never auto-applied): </source>
        <translation>候選片段（不會自動替換）：</translation>
    </message>
    <message>
        <source>Not transcribed, finishing ran out of time: </source>
        <translation>收尾時間不足，以下錄音未能辨識：</translation>
    </message>
    <message>
        <source>Hints used (%1 of %2): </source>
        <translation>已用提示（%1／%2）：</translation>
    </message>
</context>
<context>
    <name>SpeechEngine</name>
    <message>
        <source>Whisper speech model</source>
        <translation>Whisper 語音模型</translation>
    </message>
    <message>
        <source>Whisper with hints</source>
        <translation>Whisper＋提示詞</translation>
    </message>
    <message>
        <source>%1 + hints</source>
        <translation>%1＋提示詞</translation>
    </message>
    <message>
        <source> · Accuracy first</source>
        <translation> · 準確度優先</translation>
    </message>
    <message>
        <source> · Supports hints</source>
        <translation> · 可用提示詞</translation>
    </message>
</context>
<context>
    <name>UpdateController</name>
    <message>
        <source>Continue Installing Update…</source>
        <translation>繼續安裝更新…</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>檢查更新…</translation>
    </message>
    <message>
        <source>Continue the postponed update after finishing current work.</source>
        <translation>完成目前工作後，繼續已暫緩的更新。</translation>
    </message>
    <message>
        <source>Check for a new Kivo version. Unavailable while recording, converting or inserting.</source>
        <translation>檢查 Kivo 新版本。錄音、轉換及填入期間不可檢查。</translation>
    </message>
    <message>
        <source>Kivo is recording, converting or inserting. Check again when finished.</source>
        <translation>Kivo 正在錄音、轉換或填入；請完成後再檢查更新。</translation>
    </message>
    <message>
        <source>When current work is done, click Continue Installing Update.</source>
        <translation>目前工作完成後，請按「繼續安裝更新」。</translation>
    </message>
    <message>
        <source>Installing the update will clear current text</source>
        <translation>安裝更新會清除目前文字</translation>
    </message>
    <message>
        <source>Original and Result are kept only in memory. Copy anything you need first. Continuing installs the update and relaunches Kivo.</source>
        <translation>原文及結果只保留在記憶體。請先複製需要的內容；確認後 Kivo 會安裝更新並重新啟動。</translation>
    </message>
    <message>
        <source>Install and Relaunch</source>
        <translation>安裝並重新啟動</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>稍後</translation>
    </message>
    <message>
        <source>No installable updates are available.</source>
        <translation>目前沒有可安裝的更新。</translation>
    </message>
    <message>
        <source>Update did not complete: </source>
        <translation>更新未完成：</translation>
    </message>
</context>
<context>
    <name>kivo::AutostartCheckBox</name>
    <message>
        <source>Start Kivo at login</source>
        <translation>登入時啟動 Kivo</translation>
    </message>
    <message>
        <source>Open Kivo automatically when you log in to the desktop.</source>
        <translation>登入桌面時自動開啟 Kivo。</translation>
    </message>
    <message>
        <source>Could not change the autostart entry: %1</source>
        <translation>無法更改自動啟動項目：%1</translation>
    </message>
</context>
<context>
    <name>kivo::FloatingPanel</name>
    <message>
        <source>Models…</source>
        <translation>模型…</translation>
    </message>
    <message>
        <source>Cantonese</source>
        <translation>粵語</translation>
    </message>
    <message>
        <source>Speech input</source>
        <translation>輸入語音</translation>
    </message>
    <message>
        <source>Text output</source>
        <translation>目標文字</translation>
    </message>
    <message>
        <source>Cantonese speech recognition is currently supported.</source>
        <translation>目前支援粵語語音辨識。</translation>
    </message>
    <message>
        <source> — Local voice and text</source>
        <translation> — 本機語音與文字轉換</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>原文</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>結果</translation>
    </message>
    <message>
        <source>Convert manually</source>
        <translation>手動轉換</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Copy original</source>
        <translation>複製原文</translation>
    </message>
    <message>
        <source>Copy result</source>
        <translation>複製結果</translation>
    </message>
    <message>
        <source>Recognition details / alternatives</source>
        <translation>辨識明細／候選文字</translation>
    </message>
    <message>
        <source>Restore STT original</source>
        <translation>還原 STT 原文</translation>
    </message>
    <message>
        <source>Optional hints, comma-separated (max 50): Redis cache, Codex</source>
        <translation>提示詞（選填，逗號分隔；最多 50 個）：Redis cache, Codex</translation>
    </message>
    <message>
        <source>Process after recording</source>
        <translation>停止錄音後自動處理</translation>
    </message>
    <message>
        <source>Insert into the current input after processing</source>
        <translation>處理後填入目前輸入框</translation>
    </message>
    <message>
        <source>Hong Kong characters in transcripts</source>
        <translation>辨識結果用香港繁體字</translation>
    </message>
    <message>
        <source>Models run as Mandarin (zh) often write Simplified characters; when on, transcripts become Hong Kong Traditional, leaving Latin text, digits and hints as they are.</source>
        <translation>以普通話（zh）辨識的模型常寫簡體字；開啟時轉成香港繁體，英文、數字和提示詞不變。</translation>
    </message>
    <message>
        <source>Recording shortcut</source>
        <translation>錄音快捷鍵</translation>
    </message>
    <message>
        <source>Turn on accessibility…</source>
        <translation>開啟輔助使用…</translation>
    </message>
    <message>
        <source>Download, import or remove the speech and language models</source>
        <translation>下載、匯入或刪除語音及語言模型</translation>
    </message>
    <message>
        <source>Restart Kivo</source>
        <translation>重新啟動 Kivo</translation>
    </message>
    <message>
        <source>Restart stops recording and conversion and clears text and results. Settings are kept.</source>
        <translation>重啟會停止錄音與轉換，清除原文及結果；設定會保留。</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>關閉</translation>
    </message>
    <message>
        <source>Recognition engine</source>
        <translation>辨識引擎</translation>
    </message>
    <message>
        <source>Interface language</source>
        <translation>介面語言</translation>
    </message>
    <message>
        <source>Recognition hints</source>
        <translation>辨識提示詞</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>停止錄音</translation>
    </message>
    <message>
        <source>Start recording</source>
        <translation>開始錄音</translation>
    </message>
    <message>
        <source>Converting…</source>
        <translation>正在轉換…</translation>
    </message>
    <message>
        <source>Tap to speak</source>
        <translation>點一下，開始說話</translation>
    </message>
    <message>
        <source>One moment…</source>
        <translation>請稍候…</translation>
    </message>
    <message>
        <source>Listening…</source>
        <translation>正在聆聽…</translation>
    </message>
    <message>
        <source>Open settings for interface language, speech recognition, shortcuts and automatic insertion.</source>
        <translation>開啟設定：介面語言、語音辨識、快捷鍵及自動填入。</translation>
    </message>
    <message>
        <source>Quit Kivo, stop recording and conversion, and clear the current text and result.</source>
        <translation>結束 Kivo；停止錄音與轉換，清除本次原文及結果。</translation>
    </message>
    <message>
        <source>Start recording to transcribe speech; press again to stop.</source>
        <translation>開始錄音，將說話轉成文字；再按一次停止。</translation>
    </message>
    <message>
        <source>Preparing or finishing transcription. Please wait.</source>
        <translation>正在準備或完成語音辨識，請稍候。</translation>
    </message>
    <message>
        <source>Stop recording and finish transcription; process the text automatically if enabled.</source>
        <translation>停止錄音，完成語音辨識；按設定自動處理文字。</translation>
    </message>
    <message>
        <source>Cancel this conversion and keep the original text.</source>
        <translation>取消本次文字轉換，保留原文。</translation>
    </message>
    <message>
        <source>Cancel this recording and restore the previous text and result.</source>
        <translation>取消本次錄音，還原錄音前的原文及結果。</translation>
    </message>
    <message>
        <source>Collapse Original and Result; keep their text.</source>
        <translation>收合原文及結果區；文字會保留。</translation>
    </message>
    <message>
        <source>Expand Original and Result to review or edit the original text.</source>
        <translation>展開原文及結果區，檢閱或編輯原文。</translation>
    </message>
    <message>
        <source>Convert to the selected output language: the selected original text, or the full text if nothing is selected.</source>
        <translation>依目標文字語言轉換原文；有選取時只轉換選取部分，否則轉換全文。</translation>
    </message>
    <message>
        <source>Copy the entire original text to the clipboard.</source>
        <translation>將原文全文複製到剪貼簿。</translation>
    </message>
    <message>
        <source>Copy the converted result to the clipboard to paste into another app.</source>
        <translation>將轉換結果複製到剪貼簿，供你貼到其他 App。</translation>
    </message>
    <message>
        <source>View the transcript, segments and alternatives supplied by the speech engine.</source>
        <translation>查看本次語音辨識的原文、分段及引擎提供的候選文字。</translation>
    </message>
    <message>
        <source>Replace Original with the latest completed transcript and clear the previous conversion result.</source>
        <translation>以最近一次完成的語音辨識原文取代目前原文，並清除舊轉換結果。</translation>
    </message>
    <message>
        <source>Change the Kivo interface language without changing the text output language.</source>
        <translation>切換 Kivo 的介面語言，不改變目標文字語言。</translation>
    </message>
    <message>
        <source>Choose how speech is recognised on this computer; &quot;Whisper with hints&quot; uses your recognition hints.</source>
        <translation>選擇本機語音辨識方式；「Whisper＋提示詞」會使用你填寫的提示詞。</translation>
    </message>
    <message>
        <source>Automatically process the transcript in the selected output language after recording ends.</source>
        <translation>停止錄音並完成辨識後，自動按目標文字語言處理。</translation>
    </message>
    <message>
        <source>Insert the converted result into the external input focused when conversion finishes.</source>
        <translation>轉換完成後，將結果填入當時正在使用的外部輸入框。</translation>
    </message>
    <message>
        <source>Choose a global shortcut to start and stop recording, or disable it.</source>
        <translation>選擇開始及停止錄音的全域快捷鍵，或停用快捷鍵。</translation>
    </message>
    <message>
        <source>Turn on the desktop&apos;s accessibility setting (AT-SPI) for the global Right Super tap and automatic insertion.</source>
        <translation>開啟桌面的輔助使用設定（AT-SPI），供全域右 Super 及自動填入使用。</translation>
    </message>
    <message>
        <source>Collapse text</source>
        <translation>收合文字</translation>
    </message>
    <message>
        <source>Expand text</source>
        <translation>展開文字</translation>
    </message>
    <message>
        <source>Result copied.</source>
        <translation>結果已複製。</translation>
    </message>
    <message>
        <source>Convert while speaking</source>
        <translation>邊講邊轉換</translation>
    </message>
    <message>
        <source>Convert settled sentences during the recording, so that only the last words are left to convert after you stop.</source>
        <translation>錄音期間先轉換已確定的句子，停止後只需轉換最後幾句。</translation>
    </message>
</context>
</TS>
