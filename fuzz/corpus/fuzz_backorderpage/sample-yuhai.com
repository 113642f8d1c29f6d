<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk">
<title>yuhai.com 域名预订 - 示例域名市场</title>
</head>
<body>
<div class="header"><a href="/">首页</a> | <a href="/search?p=1">删除域名</a></div>
<div class="detail">
<h1>yuhai.com</h1>
<div class="info">
<p><label>删除类型：</label>过期删除</p>
<p><label>删除时间：</label>2024-06-18 16:30:00</p>
<p><label>预订截止时间：</label>2024-06-18 14:00:00</p>
</div>
<div class="price">
<table cellspacing="0">
<tr><th>预定平台</th><th>预定价格</th><th>折合人民币</th><th>保证金</th><th>操作</th></tr>
<tr><td>国内通道</td><td>US$33.01</td><td>237.67</td><td>50</td><td><a class="btn" href="/order/yuhai.com">立即预订</a></td></tr>
</table>
</div>
<div class="whois">
<h2>whois信息</h2>
<pre>Domain Name: YUHAI.COM
Registry Domain ID: 20249406s822141
Registrar WHOIS Server: whois.registrar.example
Updated Date: 2024-04-10T08:00:00Z
Creation Date: 2011-12-12T02:15:31Z
Registry Expiry Date: 2024-04-27T02:15:31Z
Registrar: Example Registrar Co., Ltd.
Domain Status: pendingDelete
Domain Status: redemptionPeriod
Name Server: NS1.DNS.EXAMPLE
Name Server: NS2.DNS.EXAMPLE
DNSSEC: unsigned</pre>
</div>
</div>
</body>
</html>
